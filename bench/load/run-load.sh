#!/usr/bin/env bash
# Load runs of the receiver library through its headless host kavrel-listen,
# driven by recorder-sim; prints the figures of each run. Not a test: nothing
# here passes or fails on time.
#
#   bench/load/run-load.sh                 many, storm and misbehave
#   bench/load/run-load.sh many storm      just those
#   bench/load/run-load.sh soak [MINUTES]  100 recorders with clips (default 30 minutes)
#
# many       1000 recorders connected at once: all acknowledged? host RSS and threads
# storm      1000 recorders dialling within one second, then all in the same
#            instant, against the backlog of 5,
#            dialling again after a failed or unanswered connect: time until all served
# misbehave  peers that never read their acknowledgements, peers that trickle one
#            byte every 50 s, and more connections than MAX_CONNECTIONS, while
#            ordinary recorders are served; host threads and memory
# soak       RSS, threads and open descriptors sampled every minute
# hostile    peers that are no recorders: 20 that each announce a 60 MB clip and
#            send all but its last byte (peak RSS growth against the packet
#            memory budget); a burst of 32 clips of 32 MiB (RSS 10 s after it,
#            against idle); 1000 peers from 127.0.0.1 trickling one byte every
#            40 s while a recorder from 127.0.0.2 dials (time until it is served);
#            the selected recorder sending 30 MB event times while 10 others
#            send positions (their acknowledgement round trips, without and with
#            it; also alone as hostile-text)
# trickle    40 peers whose announced clips together fill MAX_PACKET_MEMORY, each
#            sending about 120 bytes a second, then a recorder from another
#            address logs in and sends a position and a 3 MB clip (its round
#            trips; the host's RSS against what the peers sent)
# nat        1000 recorders from one address (a carrier's NAT or a proxy), 300
#            of them staying connected: how many are served with the default
#            MAX_CONNECTIONS_PER_ADDRESS
#
# The host runs from a folder of its own, so that its settings file
# (quvex.ini beside the program) belongs to the run. LOAD_PORT picks the port;
# LOAD_HOST=Tessaro runs the station itself (offscreen) instead of kavrel-listen;
# LOAD_BIN=DIR takes kavrel-listen and recorder-sim from DIR as they are (an
# earlier build, to compare) instead of building them.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/station.sh
build=build/release
port=${LOAD_PORT:-19650}
host=${LOAD_HOST:-kavrel-listen}
# kavrel-listen prints its event counts on SIGINT; a program started in the
# background of a script ignores SIGINT, so the station is ended with SIGTERM.
case $host in
  kavrel-listen) stop_signal=INT ;;
  Tessaro) stop_signal=TERM ;;
  *) echo "LOAD_HOST must be kavrel-listen or Tessaro" >&2; exit 2 ;;
esac

if [ -n "${LOAD_BIN:-}" ]; then
  bin=$(cd "$LOAD_BIN" && pwd)
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j 2 --target "$host" recorder-sim >/dev/null
  bin=$PWD/$build/bin
fi
sim=$bin/recorder-sim

# Two thousand connections and as many threads need more than the usual 1024 descriptors.
ulimit -n "$(ulimit -Hn)"

work=$(mktemp -d /tmp/station-load-XXXXXX)
host_pid=""
cleanup() {
  [ -n "$host_pid" ] && kill -"$stop_signal" "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null || true
  jobs -p | xargs -r kill 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# start_host "quvex.ini lines": the host on $port, its settings beside it.
start_host() {
  rm -f "$work/quvex.ini" "$work/host.log"
  [ -n "${1:-}" ] && printf '[Option]\n%s\n' "$1" > "$work/quvex.ini"
  if [ "$host" = Tessaro ]; then
    # A program folder of its own (the archive grows there) and a runtime folder
    # of its own, so that it runs beside any other station.
    rm -rf "$work/station" "$work/runtime"
    mkdir -p "$work/station" && mkdir -m 700 "$work/runtime"
    [ -f "$work/quvex.ini" ] && cp "$work/quvex.ini" "$work/station/"
    cp "$bin/Tessaro" "$bin/libKavrel.so" "$bin/nopicture.mov" "$work/station/"
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
      "$work/station/Tessaro" --port "$port" > "$work/host.log" 2>&1 &
    host_pid=$!
    station_wait_for_port "$port" "$host_pid" && return 0
    echo "Tessaro did not start:"; cat "$work/host.log"; exit 1
  fi
  cp "$bin/kavrel-listen" "$work/"
  "$work/kavrel-listen" --quiet --port "$port" > "$work/host.log" 2>&1 &
  host_pid=$!
  for _ in $(seq 100); do
    grep -q "receiving on port" "$work/host.log" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "kavrel-listen did not start:"; cat "$work/host.log"; exit 1
}

stop_host() {
  kill -"$stop_signal" "$host_pid"; wait "$host_pid" || true; host_pid=""
  sed -n 's/^kavrel-listen: events/  host events/p' "$work/host.log"
}

# "RSS-MiB threads descriptors" of a process.
sample() {
  local status rss threads fds
  status=$(cat "/proc/$1/status")
  rss=$(awk '/^VmRSS/ {print $2}' <<< "$status")
  threads=$(awk '/^Threads/ {print $2}' <<< "$status")
  fds=$(ls "/proc/$1/fd" | wc -l)
  echo "$(( rss / 1024 )) $threads $fds"
}

# Keeps the highest RSS, threads and descriptors of the host in file $1 until stopped.
watch_peaks() {
  local peak_rss=0 peak_threads=0 peak_fds=0 rss threads fds
  while kill -0 "$host_pid" 2>/dev/null; do
    read -r rss threads fds < <(sample "$host_pid") || break
    (( rss > peak_rss )) && peak_rss=$rss
    (( threads > peak_threads )) && peak_threads=$threads
    (( fds > peak_fds )) && peak_fds=$fds
    echo "$peak_rss $peak_threads $peak_fds" > "$1"
    sleep 0.2
  done
}

peaks() { read -r rss threads fds < "$1"; echo "host peak: RSS $rss MiB, $threads threads, $fds descriptors"; }
now() { read -r rss threads fds < <(sample "$host_pid"); echo "host now: RSS $rss MiB, $threads threads, $fds descriptors"; }
summary() { grep -E '^(recorders|packets|dials|never|ack round|error|\.\.\.)' "$1" | sed 's/^/  /'; }

# fleet NAME RECORDER-SIM-OPTIONS...: one simulator run against a fresh host,
# its summary and the host's peaks; the host keeps running.
fleet() {
  local name=$1 watcher
  shift
  start_host ""
  watch_peaks "$work/peaks" & watcher=$!
  "$sim" --port "$port" "$@" --quiet > "$work/$name.out" || true
  kill "$watcher" 2>/dev/null || true
  summary "$work/$name.out"
  peaks "$work/peaks"
}

run_many() {
  echo "== many: 1000 recorders connected at once (connect spread over 5 s, then held 10 s)"
  fleet many --recorders 1000 --ramp 5000 --positions 10 --hold 10000 \
    --dials 20 --dial-timeout 3000 --redial-delay 1000 --ack-timeout 5000
  now
  stop_host
}

run_storm() {
  local ramp
  for ramp in 1000 0; do
    echo "== storm: 1000 recorders dialling within $ramp ms, listen backlog 5"
    fleet storm --recorders 1000 --ramp "$ramp" --positions 1 --hold 2000 \
      --dials 50 --dial-timeout 3000 --redial-delay 1000 --ack-timeout 3000
    stop_host
  done
}

run_misbehave() {
  echo "== misbehave: MAX_CONNECTIONS=300; 100 never reading, 100 trickling one byte per 50 s,"
  echo "   then 300 ordinary recorders (100 more than the slots left) dialling again when refused"
  start_host "MAX_CONNECTIONS=300"
  watch_peaks "$work/peaks" & local watcher=$!
  "$sim" --port "$port" --recorders 100 --serial TRICKLE --trickle 50000 --positions 1 \
    --ack-timeout 600000 --quiet > "$work/trickle.out" 2>&1 &
  local trickle=$!
  "$sim" --port "$port" --recorders 100 --serial DEAF --never-read --positions 5000 \
    --hold 150000 --quiet > "$work/deaf.out" 2>&1 &
  local deaf=$!
  sleep 5
  echo "-- with 200 misbehaving peers connected: $(now)"
  local start=$SECONDS
  "$sim" --port "$port" --recorders 300 --serial OK --positions 20 --interval 100 --hold 3000 \
    --dials 100 --dial-timeout 3000 --redial-delay 1000 --ack-timeout 5000 --quiet \
    > "$work/ok.out" || true
  echo "-- ordinary recorders, done after $(( SECONDS - start )) s:"
  summary "$work/ok.out"
  echo "-- waiting for the never-reading peers to be ended by the acknowledgement's bound (60 s silence limit)"
  wait "$deaf" || true
  summary "$work/deaf.out"
  echo "-- after that: $(now)"
  kill -INT "$trickle"; wait "$trickle" || true
  echo "-- trickling peers, still connected when stopped (each stopped mid-packet):"
  summary "$work/trickle.out" | grep -v -e '^  error' -e '^  \.\.\.'

  "$sim" --port "$port" --recorders 50 --positions 10 --quiet > "$work/after.out" || true
  echo "-- 50 ordinary recorders afterwards:"
  summary "$work/after.out"
  kill "$watcher" 2>/dev/null || true
  peaks "$work/peaks"
  now
  stop_host
}

rss_mib() { read -r rss _ < <(sample "$host_pid"); echo "$rss"; }

run_hostile() {
  local watcher idle peak start served
  head -c 60000000 /dev/urandom > "$work/clip60.bin"
  head -c $(( 32 * 1024 * 1024 )) /dev/urandom > "$work/clip32.bin"

  echo "== hostile: 20 peers each announce a 60 MB clip and send all but its last byte"
  echo "   (MAX_PACKET_MEMORY default 512 MiB; the peers hang up after 40 s)"
  start_host ""
  sleep 1; idle=$(rss_mib)
  watch_peaks "$work/peaks" & watcher=$!
  "$sim" --port "$port" --recorders 20 --serial FLOOD --positions 0 --clip "$work/clip60.bin" \
    --unfinished --hold 40000 --quiet > "$work/flood.out" 2>&1 || true
  kill "$watcher" 2>/dev/null || true
  read -r peak _ < "$work/peaks"
  echo "-- host idle RSS $idle MiB, peak $peak MiB: growth $(( peak - idle )) MiB (goal under 512 + 150)"
  sleep 10
  echo "-- 10 s after the peers hung up: RSS $(rss_mib) MiB"
  stop_host

  echo "== hostile: a burst of 32 recorders sending one 32 MiB clip each"
  start_host ""
  sleep 1; idle=$(rss_mib)
  watch_peaks "$work/peaks" & watcher=$!
  start=$SECONDS
  "$sim" --port "$port" --recorders 32 --serial BURST --positions 0 --clip "$work/clip32.bin" \
    --ack-timeout 120000 --quiet > "$work/burst.out" 2>&1 || true
  kill "$watcher" 2>/dev/null || true
  summary "$work/burst.out"
  read -r peak _ < "$work/peaks"
  echo "-- burst took $(( SECONDS - start )) s; host idle RSS $idle MiB, peak $peak MiB"
  sleep 10
  echo "-- 10 s after the burst: RSS $(rss_mib) MiB, $(( $(rss_mib) - idle )) MiB above idle (goal within 150)"
  stop_host

  echo "== hostile: 1000 peers from 127.0.0.1 trickling one byte every 40 s,"
  echo "   then one recorder from 127.0.0.2 (MAX_CONNECTIONS_PER_ADDRESS default 128)"
  start_host ""
  "$sim" --port "$port" --recorders 1000 --serial SLOW --bind 127.0.0.1 --trickle 40000 \
    --positions 1 --ack-timeout 600000 --quiet > "$work/slow.out" 2>&1 &
  local slow=$!
  sleep 10
  echo "-- with the slow peers connected: $(now)"
  start=$(date +%s%N)
  "$sim" --port "$port" --bind 127.0.0.2 --serial OTHER --positions 5 --dials 20 \
    --dial-timeout 3000 --redial-delay 1000 --quiet > "$work/other.out" 2>&1 || true
  served=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "-- recorder from 127.0.0.2 done after $served ms (goal: served within 10 s):"
  summary "$work/other.out"
  kill -INT "$slow"; wait "$slow" || true
  echo "-- slow peers (those past the per-address limit were refused):"
  summary "$work/slow.out" | grep -v -e '^  error' -e '^  \.\.\.'
  stop_host
  run_huge_event_times
}

run_huge_event_times() {
  echo "== hostile: event times of 30 MB from the selected recorder beside 10 recorders"
  echo "   sending a position every second (their acknowledgement round trips, without and with it)"
  local with
  for with in without with; do
    start_host ""
    if [ "$with" = with ]; then
      # The first to log in is the selected recorder, whose event time the caption shows.
      "$sim" --port "$port" --serial HUGE --positions 0 --events 3 --event-bytes 30000000 \
        --interval 2000 --hold 20000 --ack-timeout 120000 --quiet > "$work/huge.out" 2>&1 &
      local huge=$!
      sleep 2
    fi
    "$sim" --port "$port" --recorders 10 --serial STEADY --positions 20 --interval 1000 \
      --quiet > "$work/steady-$with.out" 2>&1 || true
    echo "-- $with the huge event times:"
    summary "$work/steady-$with.out"
    if [ "$with" = with ]; then
      wait "$huge" || true
      summary "$work/huge.out" | sed 's/^/  hostile peer:/'
    fi
    stop_host
  done
}

run_trickle() {
  local trickle idle
  # 40 shares of 13,421,772 bytes (payload and its closing zero) fill 512 MiB within 32 bytes.
  head -c 13421771 /dev/urandom > "$work/clip13.bin"
  head -c 3000000 /dev/urandom > "$work/clip3.bin"
  echo "== trickle: 40 peers from 127.0.0.1 announce clips that fill MAX_PACKET_MEMORY (512 MiB)"
  echo "   within 32 bytes and send them at about 120 B/s; then a recorder from 127.0.0.2"
  start_host ""
  sleep 1; idle=$(rss_mib)
  "$sim" --port "$port" --recorders 40 --serial TRICKLE --bind 127.0.0.1 --trickle 1000 --trickle-bytes 120 \
    --positions 0 --clip "$work/clip13.bin" --ack-timeout 600000 --quiet > "$work/trickle.out" 2>&1 &
  trickle=$!
  sleep 40
  echo "-- with the peers trickling for 40 s (about $(( 40 * 120 * 40 / 1024 )) KiB sent): $(now)"
  "$sim" --port "$port" --bind 127.0.0.2 --serial LIVE --positions 1 --clip "$work/clip3.bin" \
    --ack-timeout 70000 --quiet > "$work/live.out" 2>&1 || true
  echo "-- the recorder from 127.0.0.2 (login, position, 3 MB clip):"
  summary "$work/live.out"
  echo "-- host RSS $(rss_mib) MiB, idle $idle MiB"
  kill -INT "$trickle"; wait "$trickle" || true
  stop_host
}

run_nat() {
  local stay
  echo "== nat: 1000 recorders from 127.0.0.1 (MAX_CONNECTIONS_PER_ADDRESS default 128),"
  echo "   300 staying connected for 30 s and 700 passing through"
  start_host ""
  "$sim" --port "$port" --recorders 300 --serial STAY --bind 127.0.0.1 --ramp 2000 --positions 1 \
    --hold 30000 --quiet > "$work/stay.out" 2>&1 &
  stay=$!
  "$sim" --port "$port" --recorders 700 --serial PASS --bind 127.0.0.1 --ramp 5000 --positions 5 \
    --quiet > "$work/pass.out" 2>&1 || true
  wait "$stay" || true
  echo "-- staying:"; summary "$work/stay.out" | grep -v -e '^  error' -e '^  \.\.\.'
  echo "-- passing through:"; summary "$work/pass.out" | grep -v -e '^  error' -e '^  \.\.\.'
  stop_host
}

run_soak() {
  local minutes=${1:-30}
  echo "== soak: 100 recorders with clips for $minutes minutes, reconnecting every few minutes"
  head -c 150000 /dev/urandom > "$work/clip.bin"
  start_host ""
  local end=$(( SECONDS + minutes * 60 )) rounds=0
  (
    while (( SECONDS < end )); do
      "$sim" --port "$port" --recorders 100 --ramp 2000 --clip "$work/clip.bin" --channel all \
        --positions 5 --events 1 --repeat 20 --interval 1000 --quiet >> "$work/soak.out" 2>&1 || true
    done
  ) & local driver=$!
  echo "minute  RSS-MiB  threads  descriptors"
  for (( minute = 0; minute <= minutes; ++minute )); do
    read -r rss threads fds < <(sample "$host_pid")
    printf '%6d  %7d  %7d  %11d\n' "$minute" "$rss" "$threads" "$fds"
    (( minute < minutes )) && sleep 60
  done
  wait "$driver" || true
  echo "-- sessions: $(grep -c '^recorders:' "$work/soak.out"), with errors: $(grep -c '^error' "$work/soak.out" || true)"
  grep -E '^(recorders|packets)' "$work/soak.out" | tail -2 | sed 's/^/  last: /'
  stop_host
}

runs=("$@")
[ ${#runs[@]} -eq 0 ] && runs=(many storm misbehave)
echo "host: $host"
echo "machine: $(nproc) cores, $(free -m | awk '/^Mem/ {print $2}') MiB; open files limit $(ulimit -n)"
while [ ${#runs[@]} -gt 0 ]; do
  case "${runs[0]}" in
    many) run_many ;;
    storm) run_storm ;;
    misbehave) run_misbehave ;;
    hostile) run_hostile ;;
    hostile-text) run_huge_event_times ;;
    trickle) run_trickle ;;
    nat) run_nat ;;
    soak)
      if [[ ${runs[1]:-} =~ ^[0-9]+$ ]]; then run_soak "${runs[1]}"; runs=("${runs[@]:1}"); else run_soak; fi ;;
    *) echo "unknown run ${runs[0]}; see the top of $0"; exit 2 ;;
  esac
  runs=("${runs[@]:1}")
done
