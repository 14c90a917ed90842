# Shared by the scripts that start a fleet on this machine (sourced, not run):
# an MQTT broker (mosquitto), two gateways (tessaro-gateway) and HAProxy in
# front of them, all on loopback ports of their own, their configuration in a
# temporary folder, stopped by pid. Each runs in a session of its own, so that
# Ctrl-C reaches only the script, which stops them in order. Expects $root (the repository) to be set
# and scripts/lib/station.sh sourced.
#
# The program folder station-fleet/gateway/ beside this repository's sources
# holds the gateway, the receiver library and a quvex.ini that trusts the
# proxy (TRUSTED_PROXIES=127.0.0.1); each gateway keeps its archive in a data
# folder of its own, station-fleet/gateway-1/ and station-fleet/gateway-2/.

fleet_pids=()
fleet_tmp=
fleet_broker=
fleet_gateway_ports=()

fleet_build() {
  cmake --build "$root/build/release" -j "$(nproc 2>/dev/null || echo 2)" --target tessaro-gateway
}

# Starts the fleet: the recorders dial HAProxy on port $1 (every address),
# which hands each call to the gateway with the fewest; logs go to folder $2.
# Sets fleet_broker to the broker's address for the station.
fleet_start() {
  local port=$1 logs=$2 broker_port n data
  station_need mosquitto mosquitto
  station_need haproxy haproxy
  fleet_tmp=$(mktemp -d "${TMPDIR:-/tmp}/tessaro-fleet.XXXXXX")
  mkdir -p "$logs" "$root/station-fleet/gateway"
  cp --remove-destination "$root/build/release/bin/tessaro-gateway" \
    "$root/build/release/bin/libKavrel.so" "$root/station-fleet/gateway/"
  [ -e "$root/station-fleet/gateway/quvex.ini" ] ||
    printf '[Option]\nTRUSTED_PROXIES=127.0.0.1\n' >"$root/station-fleet/gateway/quvex.ini"

  broker_port=$(station_free_port)
  printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nmax_queued_messages 0\n' \
    "$broker_port" >"$fleet_tmp/mosquitto.conf"
  setsid "$(command -v mosquitto || echo /usr/sbin/mosquitto)" -c "$fleet_tmp/mosquitto.conf" \
    >"$logs/mosquitto.log" 2>&1 &
  fleet_pids+=($!)
  fleet_wait_for_port "$broker_port" $! mosquitto "$logs/mosquitto.log" || return 1
  fleet_broker=mqtt://127.0.0.1:$broker_port

  fleet_gateway_ports=()
  for n in 1 2; do
    fleet_gateway_ports+=("$(station_free_port)")
    data=$root/station-fleet/gateway-$n
    mkdir -p "$data"
    setsid "$root/station-fleet/gateway/tessaro-gateway" --port "${fleet_gateway_ports[$((n - 1))]}" \
      --fleet "$fleet_broker" --data "$data" --name "gateway-$n" >"$logs/gateway-$n.log" 2>&1 &
    fleet_pids+=($!)
    fleet_wait_for_port "${fleet_gateway_ports[$((n - 1))]}" $! "gateway-$n" "$logs/gateway-$n.log" ||
      return 1
  done

  sed -e "s/@LISTEN_ADDRESS@/0.0.0.0/" -e "s/@LISTEN_PORT@/$port/" \
    -e "s/@GATEWAY1_PORT@/${fleet_gateway_ports[0]}/" -e "s/@GATEWAY2_PORT@/${fleet_gateway_ports[1]}/" \
    "$root/scripts/fleet/haproxy.cfg.in" >"$fleet_tmp/haproxy.cfg"
  setsid "$(command -v haproxy || echo /usr/sbin/haproxy)" -db -f "$fleet_tmp/haproxy.cfg" \
    >"$logs/haproxy.log" 2>&1 &
  fleet_pids+=($!)
  fleet_wait_for_port "$port" $! haproxy "$logs/haproxy.log" || return 1
}

# Waits until port $1 listens while process $2 lives; else says that $3 did
# not start (its log: $4).
fleet_wait_for_port() {
  station_wait_for_port "$1" "$2" && return 0
  echo "$(basename "$0"): $3 did not start; see $4" >&2
  return 1
}

# Stops the fleet in the order that loses nothing: the proxy (no new calls),
# the gateways (SIGTERM: they archive and publish what is queued and say
# goodbye), then the broker.
fleet_stop() {
  local i pid
  for ((i = ${#fleet_pids[@]} - 1; i >= 0; i--)); do
    pid=${fleet_pids[$i]}
    kill -TERM "$pid" 2>/dev/null || continue
    wait "$pid" 2>/dev/null || true
  done
  fleet_pids=()
  [ -z "$fleet_tmp" ] || rm -rf "$fleet_tmp"
  fleet_tmp=
}
