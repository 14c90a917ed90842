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
#   fleet      a fleet's normal rate: 20 recorders send a position every 2 s
#              and 20 send a 300 kB clip every 30 s, for a minute; the
#              position round trip against Tessaro (journal on) and against
#              kavrel-listen
#   kill       --rounds N (default 10) rounds of: recorders send positions and
#              clips as fast as acknowledged, Tessaro is killed (SIGKILL) at a
#              random moment and restarted in the same folder; acknowledged,
#              archived before the restart, recovered, lost and cut files
#   fulldisk   Tessaro on a small tmpfs (needs mount: root) that clips fill:
#              acknowledged against stored while the disk is full, then the
#              held recorders once the tmpfs grows
#
# With no MEASUREMENT, the first four. After every run against Tessaro the archive is
# checked against the acknowledgements: each acknowledged position must have
# its .bin file and each acknowledged clip its .mov file in the recorder's
# folder. Every process runs under nice (STATION_BENCH_NICE, default 10); the
# load average is printed beside each figure, as other work on the computer
# delays the station's timer.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/station.sh"

build=build/release
memory_clips=10000
kill_rounds=10
measurements=()
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --clips) memory_clips=$2; shift 2 ;;
    --rounds) kill_rounds=$2; shift 2 ;;
    rate|handling|roundtrip|memory|fleet|kill|fulldisk) measurements+=("$1"); shift ;;
    -h|--help) sed -n '2,36p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "usage: $0 [--build DIR] [--clips N] [--rounds N] [rate|handling|roundtrip|memory|fleet|kill|fulldisk]..." >&2; exit 2 ;;
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
mounted=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for m in "${mounted[@]}"; do umount "$m" 2>/dev/null || true; done
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
  station_log=$work/$(echo "$name" | tr / -).log
  mkdir -p "$station_dir"
  mkdir -m 700 "$station_dir.runtime"
  cp "$bin/Tessaro" "$bin/libKavrel.so" "$bin/nopicture.mov" "$station_dir/"
  restart_station "$@"
}
# restart_station [VAR=VALUE...]: Tessaro again in the folder station_dir.
restart_station() {
  station_port=$(station_free_port)
  env XDG_RUNTIME_DIR="$station_dir.runtime" QT_QPA_PLATFORM=offscreen "$@" \
    nice -n "$nice_level" "$station_dir/Tessaro" --port "$station_port" >"$station_log" 2>&1 &
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
  lost_files=0
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
      [ "$bins" -lt "$want_bin" ] && lost_files=$((lost_files + want_bin - bins))
      [ "$movs" -lt "$want_mov" ] && lost_files=$((lost_files + want_mov - movs))
      say "  MISSING $key: $bins .bin for $want_bin acknowledged positions, $movs .mov for $want_mov acknowledged clips"
    elif [ "$bins" -eq "$want_bin" ] && [ "$movs" -eq "$want_mov" ]; then
      exact=$((exact + 1))
    else
      extra=$((extra + 1))
    fi
  done < <(sed -n 's/^\(.*\): connected, \([0-9]*\) packets, \([0-9]*\) acks checked.*/\1 \2 \3/p' "$out")
  checked_acks=$((acked_bin + acked_mov))
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

# Runs a measurement (a function given the sender's name and a port) against
# kavrel-listen, the library without the station, for comparison.
against_listener() {
  local port listen_pid
  port=$(station_free_port)
  nice -n "$nice_level" "$bin/kavrel-listen" --port "$port" --quiet >"$work/listen.log" 2>&1 &
  listen_pid=$!
  pids+=("$listen_pid")
  wait_accepting "$port" "$listen_pid"
  "$1" kavrel-listen "$port"
  kill -TERM "$listen_pid" 2>/dev/null || true
  wait "$listen_pid" 2>/dev/null || true
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
  against_listener round_trip_under_clips
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

# demo_round_trip NAME PORT: a minute of a fleet's normal rate; prints the
# round trips of the position recorders and of the clip recorders.
demo_round_trip() {
  local name=$1 port=$2 clip_pid
  nice -n "$nice_level" "$bin/recorder-sim" --port "$port" --recorders 20 --serial FCLIP \
    --positions 0 --clip "$big_clip" --clips 2 --interval 30000 --ramp 30000 >"$work/$name-fclips.sim" 2>&1 &
  clip_pid=$!
  pids+=("$clip_pid")
  sim "$work/$name-fpos.sim" --port "$port" --recorders 20 --serial FPOS --positions 30 \
    --interval 2000 --ramp 2000 || true
  wait "$clip_pid" 2>/dev/null || true
  say "  against $name: position round trip $(round_trip_line "$work/$name-fpos.sim")"
  say "    clips: $(round_trip_line "$work/$name-fclips.sim")"
}

measure_fleet() {
  say "== a fleet's normal rate: 20 recorders, a position every 2 s each, 20 clips every 30 s (load $(load))"
  start_station fleet
  demo_round_trip Tessaro "$station_port"
  wait_settled
  stop_station
  check_archive "$work/Tessaro-fpos.sim" 30 0
  check_archive "$work/Tessaro-fclips.sim" 0 2
  against_listener demo_round_trip
  say "  load after: $(load)"
}

# Files of the archive that are not whole: clips of another size than the
# clip sent (and its zero byte), positions that do not end in CR LF, and
# temporary files left behind.
cut_files() {
  local clip_size=$(( $(stat -c %s "$big_clip") + 1 )) movs bins partial
  movs=$(find "$station_dir" -mindepth 5 -maxdepth 5 -name '*.mov' ! -name temp.mov ! -size "${clip_size}c" | wc -l)
  bins=$(find "$station_dir" -mindepth 5 -maxdepth 5 -name '*.bin' -exec perl -e \
    'for (@ARGV) { open my $f, "<", $_ or next; local $/; my $c = <$f>; $n++ unless $c =~ /\r\n\z/ } print $n + 0, "\n"' {} + |
    awk '{s += $1} END {print s + 0}')
  partial=$(find "$station_dir" -mindepth 5 -maxdepth 5 -name '.partial-*' | wc -l)
  echo $((movs + bins + partial))
}

measure_kill() {
  say "== kill test: $kill_rounds rounds of SIGKILL at a random moment and a restart in the same folder (load $(load))"
  start_station kill
  local r wait_ms before recovered pos_pid clip_pid cut acked lost
  local all_acked=0 all_lost=0 all_cut=0 all_recovered=0 all_before=0
  for r in $(seq "$kill_rounds"); do
    "$bin/recorder-sim" --port "$station_port" --recorders 4 --serial "K${r}P" --positions 1000 \
      >"$work/kill-$r-pos.sim" 2>&1 &
    pos_pid=$!
    "$bin/recorder-sim" --port "$station_port" --recorders 2 --serial "K${r}C" --positions 0 \
      --clip "$big_clip" --clips 1000 >"$work/kill-$r-clip.sim" 2>&1 &
    clip_pid=$!
    wait_ms=$((500 + RANDOM % 4000))
    sleep "$(printf '%d.%03d' $((wait_ms / 1000)) $((wait_ms % 1000)))"
    kill -KILL "$station_pid"
    wait "$station_pid" 2>/dev/null || true
    wait "$pos_pid" "$clip_pid" 2>/dev/null || true
    before=$(archived)
    restart_station
    recovered=$(sed -n 's/.*Tessaro: \([0-9]*\) events recovered from the journal.*/\1/p' "$station_log")
    recovered=${recovered:-0}
    wait_settled
    acked=0; lost=0
    check_archive "$work/kill-$r-pos.sim" 1000 0 >/dev/null || true
    acked=$((acked + checked_acks)); lost=$((lost + lost_files))
    check_archive "$work/kill-$r-clip.sim" 0 1000 >/dev/null || true
    acked=$((acked + checked_acks)); lost=$((lost + lost_files))
    cut=$(cut_files)
    say "  round $r: killed after ${wait_ms} ms; $acked acknowledged, $((before - all_before)) archived before the restart, $recovered recovered, $lost lost, $cut cut"
    all_acked=$((all_acked + acked)); all_lost=$((all_lost + lost)); all_recovered=$((all_recovered + recovered))
    all_cut=$cut; all_before=$(archived)
  done
  stop_station
  say "  in all: $all_acked acknowledged, $all_recovered recovered after a kill, $all_lost lost, $all_cut cut"
  [ "$all_lost" -eq 0 ] && [ "$all_cut" -eq 0 ]
}

measure_fulldisk() {
  local disk=$work/disk size_mb=40
  mkdir -p "$disk"
  if ! mount -t tmpfs -o size=${size_mb}m tmpfs "$disk" 2>/dev/null; then
    say "== full disk: skipped, a tmpfs cannot be mounted here (needs root)"
    return 0
  fi
  mounted+=("$disk")
  say "== full disk: Tessaro on a ${size_mb} MB tmpfs, 10 recorders sending 300 kB clips (load $(load))"
  start_station disk/station
  # Recorders that give up after 5 s without an acknowledgement, as the disk fills.
  "$bin/recorder-sim" --port "$station_port" --recorders 10 --serial FULL --positions 5 \
    --clip "$big_clip" --clips 30 --ack-timeout 5000 >"$work/full.sim" 2>&1 || true
  wait_settled
  say "  the station said: $(grep -m1 'cannot be written' "$station_log" || echo nothing)"
  say "  while full ($(df -k --output=avail "$disk" | tail -1) KiB left), recorders that gave up after 5 s:"
  check_archive "$work/full.sim" 5 30 || true
  say "    $checked_acks acknowledged, $lost_files of them not yet archived (they wait in the journal)"
  # Recorders that wait, held, until the tmpfs grows.
  "$bin/recorder-sim" --port "$station_port" --recorders 4 --serial HELD --positions 2 \
    --clip "$big_clip" --clips 5 --ack-timeout 600000 >"$work/held.sim" 2>&1 &
  local held_pid=$!
  pids+=("$held_pid")
  sleep 5
  local stored_before
  stored_before=$(find "$station_dir" -mindepth 5 -maxdepth 5 -path '*HELD*' -type f | wc -l)
  mount -o remount,size=400m "$disk"
  wait "$held_pid" || true
  wait_settled
  say "  held recorders: $stored_before files stored while full; after the tmpfs grew:"
  check_archive "$work/held.sim" 2 5 || true
  say "    $checked_acks acknowledged, $lost_files of them not stored; the station said: $(grep -m1 'can be written again' "$station_log" || echo nothing)"
  say "  the recorders that gave up, once the tmpfs grew:"
  check_archive "$work/full.sim" 5 30 || true
  say "    $checked_acks acknowledged, $lost_files of them not stored"
  stop_station
}

status=0
for m in "${measurements[@]}"; do
  "measure_$m" || status=1
done
exit $status
