#!/usr/bin/env bash
# Measures the station's event dispatcher under load: recorder-sim against
# Tessaro on the offscreen platform, each measurement with a station of its
# own in a fresh program folder.
#
#   bench/station/dispatch-load.sh [--build DIR] [--clips N] [MEASUREMENT...]
#
#   rate       events handled per second under a backlog: 4 recorders send
#              positions as fast as they are acknowledged; the archive's
#              position files, counted per second of their names
#   handling   each tick's time on the user-interface thread
#              (STATION_DISPATCH_TIMING): 400 positions, then 100 clips of
#              about 300 kB, each from the selected recorder
#   roundtrip  acknowledgement round trip of one recorder sending positions
#              while 20 others send 300 kB clips, against Tessaro and against
#              kavrel-listen
#   memory     RSS of Tessaro every 1,000 small clips (4 recorders, N clips
#              in all, 10,000 by default)
#
# With no MEASUREMENT, all four. After every run against Tessaro the archive is
# checked against the acknowledgements: each acknowledged position must have
# its .bin file and each acknowledged clip its .mov file in the recorder's
# folder. Every process runs under nice (STATION_BENCH_NICE, default 10); the
# load average is printed beside each figure, as other work on the computer
# delays the station's timer.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/station.sh"

build=build/release
memory_clips=10000
measurements=()
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --clips) memory_clips=$2; shift 2 ;;
    rate|handling|roundtrip|memory) measurements+=("$1"); shift ;;
    -h|--help) sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "usage: $0 [--build DIR] [--clips N] [rate|handling|roundtrip|memory]..." >&2; exit 2 ;;
  esac
done
[ ${#measurements[@]} -gt 0 ] || measurements=(rate handling roundtrip memory)

for f in Tessaro libKavrel.so nopicture.mov recorder-sim kavrel-listen; do
  [ -e "$build/bin/$f" ] || { echo "missing $build/bin/$f: build Tessaro, recorder-sim and kavrel-listen first" >&2; exit 1; }
done
bin=$(cd "$build/bin" && pwd)
command -v ffmpeg >/dev/null || { echo "ffmpeg is missing: install the Debian package ffmpeg" >&2; exit 1; }

nice_level=${STATION_BENCH_NICE:-10}
run_nice() { nice -n "$nice_level" "$@"; }
# sim OUTPUT ARGS...: recorder-sim with its report in OUTPUT; says so when it reports faults.
sim() {
  local out=$1; shift
  run_nice "$bin/recorder-sim" "$@" >"$out" 2>&1 && return 0
  say "  recorder-sim $*: faults reported:"; grep -v ': connected, ' "$out" | sed 's/^/    /' | head -20
  return 1
}

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

load() { cut -d' ' -f1-3 /proc/loadavg; }
say() { printf '%s\n' "$*"; }

# Clips: a recorder-like 300 kB MPEG-4 movie, and a small one just above the
# 2000 bytes below which the station keeps no clip.
big_clip=$work/clip300k.mov
small_clip=$work/clipsmall.mov
ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 -t 8 \
  -c:v mpeg4 -b:v 300k -f mov "$big_clip"
ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=96x72:rate=5 -t 0.6 \
  -c:v mpeg4 -q:v 10 -f mov "$small_clip"
say "clips: $(stat -c %s "$big_clip") bytes and $(stat -c %s "$small_clip") bytes"
[ "$(stat -c %s "$small_clip")" -gt 2000 ] || { echo "the small clip came out too small" >&2; exit 1; }

# wait_accepting PORT PID: until the program PID listens on PORT.
wait_accepting() {
  station_wait_for_port "$1" "$2" ||
    { echo "nothing listens on port $1 (the program ended, or took over 10 s)" >&2; return 1; }
}

# start_station NAME [VAR=VALUE...]: a program folder $work/NAME with Tessaro
# running in it; sets station_dir, station_port, station_pid.
start_station() {
  local name=$1; shift
  station_dir=$work/$name
  mkdir -p "$station_dir"
  mkdir -m 700 "$station_dir.runtime"
  cp "$bin/Tessaro" "$bin/libKavrel.so" "$bin/nopicture.mov" "$station_dir/"
  station_port=$(station_free_port)
  env XDG_RUNTIME_DIR="$station_dir.runtime" QT_QPA_PLATFORM=offscreen "$@" \
    nice -n "$nice_level" "$station_dir/Tessaro" --port "$station_port" >"$station_dir.log" 2>&1 &
  station_pid=$!
  pids+=("$station_pid")
  wait_accepting "$station_port" "$station_pid"
}
stop_station() {
  kill "$station_pid" 2>/dev/null || true
  wait "$station_pid" 2>/dev/null || true
}

archived() { find "$station_dir" -mindepth 5 -maxdepth 5 -type f \( -name '*.bin' -o -name '*.mov' \) | wc -l; }
# Waits until the station has handled what was queued: the archive stops growing for 3 s.
wait_settled() {
  local last=-1 same=0 now i
  for i in $(seq 1200); do
    now=$(archived)
    if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0; last=$now; fi
    [ "$same" -ge 6 ] && return 0
    sleep 0.5
  done
  echo "the archive was still growing after 10 minutes" >&2; return 1
}

# check_archive SIM_OUTPUT POSITIONS CLIPS: for each recorder of one
# recorder-sim run (login, POSITIONS positions, CLIPS clips), the files in its
# folder against what it had acknowledged. A packet sent whose
# acknowledgement was cut off by a stop may be archived too ("extra").
check_archive() {
  local out=$1 positions=$2 clips=$3 key sent acks want_bin want_mov bins movs
  local recorders=0 exact=0 extra=0 missing=0 acked_bin=0 acked_mov=0
  while read -r key sent acks; do
    recorders=$((recorders + 1))
    want_bin=$(( acks - 1 < positions ? acks - 1 : positions )); [ "$want_bin" -ge 0 ] || want_bin=0
    want_mov=$(( acks - 1 - positions )); [ "$want_mov" -ge 0 ] || want_mov=0
    [ "$want_mov" -le "$clips" ] || want_mov=$clips
    bins=$(find "$station_dir" -mindepth 5 -maxdepth 5 -path "*/$key/*" -name '*.bin' | wc -l)
    movs=$(find "$station_dir" -mindepth 5 -maxdepth 5 -path "*/$key/*" -name '*.mov' ! -name temp.mov | wc -l)
    acked_bin=$((acked_bin + want_bin)); acked_mov=$((acked_mov + want_mov))
    if [ "$bins" -lt "$want_bin" ] || [ "$movs" -lt "$want_mov" ]; then
      missing=$((missing + 1))
      say "  MISSING $key: $bins .bin for $want_bin acknowledged positions, $movs .mov for $want_mov acknowledged clips"
    elif [ "$bins" -eq "$want_bin" ] && [ "$movs" -eq "$want_mov" ]; then
      exact=$((exact + 1))
    else
      extra=$((extra + 1))
    fi
  done < <(sed -n 's/^\(.*\): connected, \([0-9]*\) packets, \([0-9]*\) acks checked.*/\1 \2 \3/p' "$out")
  say "  archive: $recorders recorders, $acked_bin acknowledged positions and $acked_mov clips;" \
      "$exact folders exact, $extra with an unacknowledged packet kept too, $missing missing files"
  [ "$missing" -eq 0 ]
}

round_trip_line() { grep '^ack round trip' "$1" | sed 's/^ack round trip: //'; }

# stats FILE: "median M, p99 P, n N" of the numbers in FILE (nearest rank).
stats() {
  sort -n "$1" | awk '{v[NR] = $1} END {
    if (NR == 0) { print "no samples"; exit }
    m = v[int((NR + 1) / 2)]; r = int(0.99 * NR); if (r < 0.99 * NR) r++; if (r < 1) r = 1
    printf "median %.3f, p99 %.3f, max %.3f (n %d)", m, v[r], v[NR], NR }'
}

measure_rate() {
  say "== events handled per second under a backlog (load $(load))"
  start_station rate
  sim "$work/rate.sim" --port "$station_port" --recorders 4 --serial RATE --positions 300
  wait_settled
  stop_station
  say "  recorder-sim: $(grep '^overall' "$work/rate.sim"), $(grep '^recorders' "$work/rate.sim" | sed 's/.*elapsed/elapsed/')"
  # Whole seconds only: the first and the last second of the run are partial.
  find "$station_dir" -mindepth 5 -maxdepth 5 -name '*.bin' -printf '%f\n' | cut -c1-6 | sort | uniq -c |
    awk '{print $1}' | sed '1d;$d' >"$work/rate.per-second"
  say "  positions archived per whole second: $(stats "$work/rate.per-second" | sed 's/\.000//g'), mean $(awk '{s+=$1} END {printf "%.1f", s/NR}' "$work/rate.per-second")"
  say "    each second: $(tr '\n' ' ' <"$work/rate.per-second")"
  check_archive "$work/rate.sim" 300 0
  say "  load after: $(load)"
}

# timing_stats FILE CODE: wall and processor time of ticks that handled CODE without a refresh.
timing_stats() {
  local file=$1 code=$2
  awk -v c="$code" '$2 == c && $5 == 0 {print $3 / 1e6}' "$file" >"$work/t.wall"
  awk -v c="$code" '$2 == c && $5 == 0 {print $4 / 1e6}' "$file" >"$work/t.cpu"
  say "    wall ms: $(stats "$work/t.wall")"
  say "    thread processor ms: $(stats "$work/t.cpu")"
}

measure_handling() {
  say "== each tick on the user-interface thread, archive on (load $(load))"
  start_station handling STATION_DISPATCH_TIMING="$work/handling.timing"
  sim "$work/handling-pos.sim" --port "$station_port" --serial POSN --positions 400
  wait_settled
  sim "$work/handling-clip.sim" --port "$station_port" --serial CLIP --positions 0 --clip "$big_clip" --clips 100
  wait_settled
  sleep 1.5 # the record is appended once a second
  stop_station
  local t=$work/handling.timing
  say "  position (code 2) of the selected recorder:"
  timing_stats "$t" 2
  say "  clip of $(stat -c %s "$big_clip") bytes (code 257) of the selected recorder, saved and shown:"
  timing_stats "$t" 257
  say "  the once-a-second refresh, in a tick without an event:"
  awk '$2 == -1 && $5 == 1 {print $3 / 1e6}' "$t" >"$work/t.refresh"
  say "    wall ms: $(stats "$work/t.refresh")"
  # Ticks from the first to the last position tick: the backlog of positions.
  awk '$2 == 2 {if (!f) f = $1; l = $1} END {print f, l}' "$t" | {
    read -r first last
    awk -v f="$first" -v l="$last" '$1 >= f && $1 <= l' "$t" >"$work/t.backlog"
  }
  awk 'NR > 1 && $2 != -1 && prev != -1 {print ($1 - ps) / 1000} {prev = $2; ps = $1}' \
    "$work/t.backlog" >"$work/t.period"
  awk 'NR > 1 && $2 != -1 && prev != -1 {print $6 / 1e6} {prev = $2}' "$work/t.backlog" >"$work/t.between"
  say "  during the positions' backlog: $(awk '$2 != -1' "$work/t.backlog" | wc -l) events in" \
      "$(awk 'NR == 1 {f = $1} {l = $1} END {printf "%.2f", (l - f) / 1e6}' "$work/t.backlog") s" \
      "($(awk '$2 != -1 {n++} NR == 1 {f = $1} {l = $1} END {printf "%.1f", n / ((l - f) / 1e6)}' "$work/t.backlog") events/s," \
      "of them $(awk '$2 == 61443' "$work/t.backlog" | wc -l) data-received notices)"
  say "    start to start of consecutive event ticks, ms: $(stats "$work/t.period")"
  say "    thread processor time between those ticks, ms: $(stats "$work/t.between")"
  check_archive "$work/handling-pos.sim" 400 0
  check_archive "$work/handling-clip.sim" 0 100
  say "  load after: $(load)"
}

# round_trip_under_clips NAME: 20 recorders send 300 kB clips for as long as
# one recorder sends 30 positions 100 ms apart; prints that recorder's round trip.
round_trip_under_clips() {
  local name=$1 port=$2 clip_pid
  # nice itself becomes recorder-sim, so that $! is the process to stop.
  nice -n "$nice_level" "$bin/recorder-sim" --port "$port" --recorders 20 --serial LOAD \
    --positions 0 --clip "$big_clip" --clips 100000 --ramp 1000 >"$work/$name-clips.sim" 2>/dev/null &
  clip_pid=$!
  pids+=("$clip_pid")
  sleep 3 # every clip recorder connected and the queue full
  sim "$work/$name-pos.sim" --port "$port" --serial SOLO --positions 30 --interval 100 || true
  kill -TERM "$clip_pid" 2>/dev/null || true
  wait "$clip_pid" 2>/dev/null || true
  say "  against $name: position round trip $(round_trip_line "$work/$name-pos.sim")"
  say "    clips meanwhile: $(round_trip_line "$work/$name-clips.sim")"
}

measure_roundtrip() {
  say "== acknowledgement round trip of positions while 20 recorders send clips (load $(load))"
  start_station roundtrip
  round_trip_under_clips Tessaro "$station_port"
  wait_settled
  stop_station
  check_archive "$work/Tessaro-pos.sim" 30 0
  check_archive "$work/Tessaro-clips.sim" 0 100000
  rm -rf "$station_dir"/20[0-9][0-9] # some hundred MB of clips
  local port listen_pid
  port=$(station_free_port)
  nice -n "$nice_level" "$bin/kavrel-listen" --port "$port" --quiet >"$work/listen.log" 2>&1 &
  listen_pid=$!
  pids+=("$listen_pid")
  wait_accepting "$port" "$listen_pid"
  round_trip_under_clips kavrel-listen "$port"
  kill -TERM "$listen_pid" 2>/dev/null || true
  wait "$listen_pid" 2>/dev/null || true
  say "  load after: $(load)"
}

rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$station_pid/status"; }

measure_memory() {
  local per_recorder=$(( (memory_clips + 3) / 4 ))
  say "== RSS over $((per_recorder * 4)) clips of $(stat -c %s "$small_clip") bytes from 4 recorders (load $(load))"
  start_station memory
  sleep 2
  say "  after start: RSS $(rss_kib) KiB"
  sim "$work/memory.sim" --port "$station_port" --recorders 4 --serial MEM --positions 0 \
    --clip "$small_clip" --clips "$per_recorder" &
  local sim_pid=$! next=1000 n t0
  pids+=("$sim_pid")
  t0=$(date +%s)
  while :; do
    n=$(find "$station_dir" -mindepth 5 -maxdepth 5 -name '*.mov' | wc -l)
    if [ "$n" -ge "$next" ]; then
      say "  $n clips archived ($(( $(date +%s) - t0 )) s): RSS $(rss_kib) KiB, load $(load)"
      while [ "$next" -le "$n" ]; do next=$((next + 1000)); done
    fi
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.5
  done
  wait "$sim_pid" || true
  wait_settled
  say "  settled: RSS $(rss_kib) KiB; recorder-sim: $(grep '^overall' "$work/memory.sim")"
  stop_station
  check_archive "$work/memory.sim" 0 "$per_recorder"
}

status=0
for m in "${measurements[@]}"; do
  "measure_$m" || status=1
done
exit $status
