#!/usr/bin/env bash
# A fleet on loopback, measured: an MQTT broker (mosquitto), two gateways
# behind HAProxy (TCP, leastconn, send-proxy-v2), one station on the fleet
# (offscreen, its GPS port a socat pty pair), and kavrel-listen alone for
# comparison; recorder-sim drives them. Prints the figures; not a test:
# nothing here passes or fails on time.
#
#   bench/fleet/run-fleet.sh
#
# 1. The pilot, one recorder replaying Track1.txt (southern hemisphere), logs
#    in first through HAProxy, so that the station selects it (an empty list
#    selects the first recorder that comes). Its sentences on the station's
#    GPS port are told from the others' by their latitude.
# 2. 1000 recorders through HAProxy (logins spread over 10 s, a position every
#    second for 60 s, a real receiver log whose sentences recorder-sim
#    stamps with the current time): acknowledgements, their round trip, the
#    pilot's positions from sending to the GPS port, the station's dispatcher
#    events per second, and the RSS of the broker, each gateway, HAProxy and
#    the station at the end of the 60 s.
# 3. The same 1000 against kavrel-listen alone, right after.
# 4. A fresh gateway of its own per step, called directly by FLEET_STEPS
#    recorders (default "250 500 1000"), each sending FLEET_STEP_POSITIONS
#    positions a second apart (default 30): the acknowledgements' round trip
#    per step. A gateway flushes its journal before each acknowledgement, so
#    the run begins with the rate of small flushes that the disk of the
#    gateways' data folders takes (FLEET_DATA=DIR puts them there, a tmpfs for
#    one, instead of the temporary folder).
#
# Every program runs from a folder of its own in a temporary folder, so that
# its settings (quvex.ini beside the program) belong to the run; all are
# stopped by pid at the end. All recorders come from loopback addresses, so
# MAX_CONNECTIONS_PER_ADDRESS is switched off and MAX_CONNECTIONS raised for
# the largest step. HAProxy dials the gateways from 127.0.0.1, which they
# trust for its PROXY header; recorders that call a gateway directly come
# from 127.0.0.2. FLEET_BIN=DIR takes the programs from DIR as they are
# instead of building them.
set -euo pipefail
data_parent=${FLEET_DATA:+$(cd "$FLEET_DATA" && pwd)}
cd "$(dirname "$0")/../.."
root=$PWD
source scripts/lib/station.sh
build=build/release
steps=${FLEET_STEPS:-250 500 1000}
step_positions=${FLEET_STEP_POSITIONS:-30}
fleet_recorders=1000
fleet_positions=60
fleet_ramp_ms=10000
pilot_track=$root/monitor/app/data/Track1.txt
fleet_track=$root/tests/data/nmea/bt451-car.nmea
# The station replays its Track1.txt until live positions come: a third log,
# so that no replayed sentence passes for the pilot's.
station_track=$root/tests/data/nmea/neo-m8n-parked.nmea

for tool in mosquitto haproxy socat perl; do station_need "$tool" "$tool"; done

if [ -n "${FLEET_BIN:-}" ]; then
  bin=$(cd "$FLEET_BIN" && pwd)
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j 2 --target Tessaro tessaro-gateway kavrel-listen recorder-sim >/dev/null
  bin=$PWD/$build/bin
fi
sim=$bin/recorder-sim

# Two thousand connections, each through a proxy, need more than the usual 1024 descriptors.
ulimit -n "$(ulimit -Hn)"

work=$(mktemp -d /tmp/fleet-bench-XXXXXX)
pids=()  # every program started, stopped in reverse order
declare -A gateway_pid gateway_port  # by the gateway's name: 1, 2, step500, ...
cleanup() {
  local i
  for (( i = ${#pids[@]} - 1; i >= 0; --i )); do
    kill -TERM "${pids[$i]}" 2>/dev/null || true
    wait "${pids[$i]}" 2>/dev/null || true
  done
  [ -n "${data_root:-}" ] && rm -rf "$data_root"
  rm -rf "$work"
}
trap cleanup EXIT
data_root=$(mktemp -d "${data_parent:-$work}/fleet-data-XXXXXX")

now_ms() { date +%s%3N; }

# A free port below the system's range of outgoing ports, which thousands of
# recorders' connections take up while the script picks one.
free_port() {
  local port
  while :; do
    port=$(( 20000 + RANDOM % 12000 ))
    station_port_listening "$port" || { echo "$port"; return; }
  done
}

# Stops process $1 with SIGTERM, with SIGKILL after $2 s; takes it off the list.
stop_pid() {
  local pid=$1 i kept=()
  kill -TERM "$pid" 2>/dev/null || true
  for (( i = 0; i < $2 * 10; ++i )); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  for i in "${pids[@]}"; do [ "$i" = "$pid" ] || kept+=("$i"); done
  pids=("${kept[@]}")
}

# Waits until port $1 listens, while process $2 lives, or says what $3 wrote and ends.
wait_port() {
  station_wait_for_port "$1" "$2" && return 0
  echo "$(basename "$3" .log) did not start:"; tail -20 "$3"; exit 1
}

receiver_settings() {
  printf '[Option]\nMAX_CONNECTIONS=%d\nMAX_CONNECTIONS_PER_ADDRESS=0\n%s' "$1" "${2:-}"
}

start_broker() {
  broker_port=$(free_port)
  mkdir -p "$work/broker"
  cat > "$work/broker/mosquitto.conf" <<EOF
listener $broker_port 127.0.0.1
allow_anonymous true
persistence false
max_queued_messages 0
EOF
  mosquitto -c "$work/broker/mosquitto.conf" > "$work/broker.log" 2>&1 &
  broker_pid=$!; pids+=("$broker_pid")
  wait_port "$broker_port" "$broker_pid" "$work/broker.log"
  broker=mqtt://127.0.0.1:$broker_port
}

# start_gateway N: gateway N on a free port, its program folder and data its own.
start_gateway() {
  local n=$1 dir=$work/gateway$1 port
  port=$(free_port)
  mkdir -p "$dir" "$data_root/gateway$n"
  cp "$bin/tessaro-gateway" "$bin/libKavrel.so" "$dir/"
  receiver_settings 3000 "TRUSTED_PROXIES=127.0.0.1"$'\n' > "$dir/quvex.ini"
  "$dir/tessaro-gateway" --port "$port" --fleet "$broker" --data "$data_root/gateway$n" \
    --name "bench-$n" > "$work/gateway$n.log" 2>&1 &
  gateway_pid[$n]=$!; pids+=("${gateway_pid[$n]}")
  gateway_port[$n]=$port
  wait_port "$port" "${gateway_pid[$n]}" "$work/gateway$n.log"
}

start_haproxy() {
  proxy_port=$(free_port)
  sed -e "s/@LISTEN_ADDRESS@/127.0.0.1/" -e "s/@LISTEN_PORT@/$proxy_port/" \
    -e "s/@GATEWAY1_PORT@/${gateway_port[1]}/" -e "s/@GATEWAY2_PORT@/${gateway_port[2]}/" \
    scripts/fleet/haproxy.cfg.in > "$work/haproxy.cfg"
  haproxy -c -q -f "$work/haproxy.cfg"
  haproxy -db -f "$work/haproxy.cfg" > "$work/haproxy.log" 2>&1 &
  proxy_pid=$!; pids+=("$proxy_pid")
  wait_port "$proxy_port" "$proxy_pid" "$work/haproxy.log"
}

# The GPS port: a pty pair in a device folder of the run's own, and a reader
# that writes each sentence arriving on the navigation side with its arrival
# time (milliseconds since the epoch) in front.
start_gps_port() {
  mkdir -m 700 "$work/vgps"
  socat pty,raw,echo=0,link="$work/vgps/VGPSIn" pty,raw,echo=0,link="$work/vgps/ttyVGPS" &
  pids+=($!)
  for _ in $(seq 100); do
    [ -e "$work/vgps/VGPSIn" ] && [ -e "$work/vgps/ttyVGPS" ] && break
    sleep 0.05
  done
  stamp_lines "$work/vgps/ttyVGPS" "$work/gps.log"
}

# stamp_lines IN OUT: each line read from IN written to OUT with its arrival
# time in front (milliseconds since the epoch), line ends and zero bytes taken off.
stamp_lines() {
  perl -MTime::HiRes=time -e '
    open(my $in, "<", $ARGV[0]) or die "$ARGV[0]: $!";
    open(my $out, ">", $ARGV[1]) or die "$ARGV[1]: $!";
    $out->autoflush(1);
    while (my $line = <$in>) {
      $line =~ s/[\r\n\0]+//g;
      printf $out "%.0f %s\n", time() * 1000, $line if length $line;
    }' "$1" "$2" &
  pids+=($!)
}

# The pilot's positions as the broker hands them to a subscriber, so that the
# way to the station's GPS port is told apart from the way to the broker.
watch_pilot_topic() {
  mkfifo "$work/pilot.fifo"
  mosquitto_sub -p "$broker_port" -h 127.0.0.1 -q 1 -t "tessaro/v1/recorder/PILOT_1/event/0002" \
    > "$work/pilot.fifo" 2> "$work/sub.log" &
  pids+=($!)
  stamp_lines "$work/pilot.fifo" "$work/broker-pilot.log"
}

start_station() {
  mkdir -p "$work/station" && mkdir -m 700 "$work/runtime"
  cp "$bin/Tessaro" "$bin/libKavrel.so" "$bin/nopicture.mov" "$work/station/"
  cp "$station_track" "$work/station/Track1.txt"
  XDG_RUNTIME_DIR="$work/runtime" VGPS_DIR="$work/vgps" QT_QPA_PLATFORM=offscreen \
    STATION_DISPATCH_TIMING="$work/dispatch.timing" \
    "$work/station/Tessaro" --fleet "$broker" > "$work/station.log" 2>&1 &
  station_pid=$!; pids+=("$station_pid")
  # Its line naming the broker says that it has started; that it follows the
  # fleet shows when the pilot's positions reach its GPS port.
  for _ in $(seq 100); do
    grep -q "Fleet $broker" "$work/station.log" 2>/dev/null && return 0
    kill -0 "$station_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$station_pid" 2>/dev/null && return 0
  echo "Tessaro did not start:"; tail -20 "$work/station.log"; exit 1
}

start_listener() {
  listen_port=$(free_port)
  mkdir -p "$work/listen"
  cp "$bin/kavrel-listen" "$work/listen/"
  receiver_settings 3000 > "$work/listen/quvex.ini"
  "$work/listen/kavrel-listen" --quiet --port "$listen_port" > "$work/listen.log" 2>&1 &
  listen_pid=$!; pids+=("$listen_pid")
  wait_port "$listen_port" "$listen_pid" "$work/listen.log"
}

summary() { grep -E '^(recorders|packets|ack round|error|\.\.\.)' "$1" | sed 's/^/  /'; }
# How many recorders whose serial begins with $2 have a folder in gateway $1's archive.
archived_keys() { find "$data_root/gateway$1" -type d -name "$2-*" -printf '%f\n' | sort -u | wc -l; }
rss_mib() { awk '/^VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }

# The pilot's sentences (southern latitudes, which only its log has) that
# arrived from $1 ms on: the time from the sentence's UTC time of day (which
# recorder-sim stamps from the clock as it sends) to its arrival.
pilot_delays() {
  awk -F, -v from="$1" '
    $3 == "A" && $5 == "S" {
      split($1, a, " "); arrival = a[1]; if (arrival < from) next
      sent = substr($2, 1, 2) * 3600 + substr($2, 3, 2) * 60 + substr($2, 5)
      day = (arrival / 1000) % 86400
      d = day - sent; if (d < -43200) d += 86400
      printf "%.0f\n", d * 1000
    }' "${2:-$work/gps.log}"
}

# "median M, p99 P, max X (n N)" of the numbers in file $1 (nearest rank).
stats() {
  sort -n "$1" | awk '{v[NR] = $1} END {
    if (NR == 0) { print "no samples"; exit }
    m = v[int((NR + 1) / 2)]; r = int(0.99 * NR); if (r < 0.99 * NR) r++; if (r < 1) r = 1
    printf "median %s, p99 %s, max %s (n %d)", m, v[r], v[NR], NR }'
}

# Dispatcher ticks are appended to the timing file once a second: its lines
# from line $1 on that handled an event, per second of their span, and the
# most in any one second.
dispatch_rate() {
  tail -n +"$1" "$work/dispatch.timing" | awk '
    NR == 1 {first = $1} {last = $1}
    $2 != -1 {n++; per[int($1 / 1e6)]++}
    END {
      span = (last - first) / 1e6; most = 0
      for (s in per) if (per[s] > most) most = per[s]
      if (span <= 0) { print "no ticks"; exit }
      printf "%.1f events/s over %.0f s (%d events), at most %d in one second", n / span, span, n, most
    }'
}

echo "== fleet on loopback: load $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
flushes=$(dd if=/dev/zero of="$data_root/flush-probe" bs=100 count=500 oflag=dsync 2>&1 |
  awk '/copied/ {for (i = 1; i < NF; ++i) if ($i == "s,") print $(i - 1)}')
rm -f "$data_root/flush-probe"
echo "the gateways' data folder takes $(awk -v s="$flushes" 'BEGIN {printf "%.0f", 500 / s}') flushed writes of 100 bytes a second (dd oflag=dsync)"
start_broker
start_gateway 1
start_gateway 2
start_haproxy
start_gps_port
watch_pilot_topic
start_station
start_listener
echo "broker :$broker_port, gateways :${gateway_port[1]} :${gateway_port[2]}, HAProxy :$proxy_port," \
  "kavrel-listen :$listen_port"

pilot_s=$(( fleet_ramp_ms / 1000 + fleet_positions + 20 ))
"$sim" --port "$proxy_port" --serial PILOT --track "$pilot_track" --positions "$pilot_s" \
  --interval 1000 --quiet > "$work/pilot.out" 2>&1 &
pilot_pid=$!; pids+=("$pilot_pid")
for _ in $(seq 200); do
  [ -n "$(pilot_delays 0)" ] && break
  sleep 0.1
done
[ -n "$(pilot_delays 0)" ] || { echo "the pilot's positions never reached the GPS port:"; tail -5 "$work/station.log"; exit 1; }
idle_from=$(now_ms)
sleep 10
pilot_delays "$idle_from" > "$work/pilot-idle.delays"
pilot_delays "$idle_from" "$work/broker-pilot.log" > "$work/pilot-idle-broker.delays"
echo "the station follows the pilot; before the load, its position from sending to arriving, ms:"
echo "  on the GPS port $(stats "$work/pilot-idle.delays")"
echo "  at a subscriber of the broker $(stats "$work/pilot-idle-broker.delays")"

echo "== $fleet_recorders recorders through HAProxy to two gateways, a position a second for" \
  "$fleet_positions s, logins over $(( fleet_ramp_ms / 1000 )) s (load $(cut -d' ' -f1 /proc/loadavg))"
start=$(now_ms)
timing_from=$(( $(wc -l < "$work/dispatch.timing") + 1 ))
"$sim" --port "$proxy_port" --recorders "$fleet_recorders" --serial FLEET --track "$fleet_track" \
  --positions "$fleet_positions" --interval 1000 --ramp "$fleet_ramp_ms" --hold 10000 \
  --quiet > "$work/fleet.out" 2>&1 &
fleet_pid=$!
# The end of the 60 s: the last recorder has sent its last position 5 s ago,
# the first ones still hold their connections.
sleep $(( fleet_ramp_ms / 1000 + fleet_positions - 5 ))
rss="broker $(rss_mib "$broker_pid"), gateway 1 $(rss_mib "${gateway_pid[1]}"),"
rss+=" gateway 2 $(rss_mib "${gateway_pid[2]}"), HAProxy $(rss_mib "$proxy_pid"), station $(rss_mib "$station_pid")"
wait "$fleet_pid" || true
sleep 1.5 # the timing file is appended once a second
summary "$work/fleet.out"
echo "  recorders archived: gateway 1 $(archived_keys 1 FLEET), gateway 2 $(archived_keys 2 FLEET)"
pilot_delays "$start" > "$work/pilot.delays"
pilot_delays "$start" "$work/broker-pilot.log" > "$work/pilot-broker.delays"
echo "  pilot's position, sent to arriving, ms: on the station's GPS port $(stats "$work/pilot.delays");"
echo "    at a subscriber of the broker $(stats "$work/pilot-broker.delays")"
echo "  station's dispatcher: $(dispatch_rate "$timing_from")"
echo "  RSS MiB at the end of the 60 s: $rss"

echo "== the same $fleet_recorders recorders against kavrel-listen alone (load $(cut -d' ' -f1 /proc/loadavg))"
"$sim" --port "$listen_port" --recorders "$fleet_recorders" --serial ALONE --track "$fleet_track" \
  --positions "$fleet_positions" --interval 1000 --ramp "$fleet_ramp_ms" --hold 1000 \
  --quiet > "$work/alone.out" 2>&1 || true
summary "$work/alone.out"
echo "  kavrel-listen RSS $(rss_mib "$listen_pid") MiB"

kill -TERM "$pilot_pid" 2>/dev/null || true
for n in $steps; do
  echo "== $n recorders directly against a gateway of their own, a position a second for" \
    "$step_positions s (load $(cut -d' ' -f1 /proc/loadavg))"
  start_gateway "step$n"
  "$sim" --port "${gateway_port[step$n]}" --bind 127.0.0.2 --recorders "$n" --serial "STEP$n" \
    --track "$fleet_track" --positions "$step_positions" --interval 1000 --ramp $(( n * 10 )) \
    --quiet > "$work/step$n.out" 2>&1 || true
  summary "$work/step$n.out"
  echo "  gateway RSS $(rss_mib "${gateway_pid[step$n]}") MiB, broker $(rss_mib "$broker_pid") MiB"
  started=$SECONDS
  stop_pid "${gateway_pid[step$n]}" 30
  echo "  the gateway stopped $(( SECONDS - started )) s after SIGTERM (SIGKILL after 30 s)"
done
echo "== done (load $(cut -d' ' -f1 /proc/loadavg))"
