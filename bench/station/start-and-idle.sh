#!/usr/bin/env bash
# Measures the station as a process: the time from exec of Tessaro to its port
# accepting connections (median of 10 starts), and a running station's CPU
# use and memory while no recorder is connected (over 60 s by default).
#
#   bench/station/start-and-idle.sh [build-folder] [idle-seconds]
#
# Runs on the offscreen platform unless DISPLAY is set and STATION_BENCH_X11=1.
set -euo pipefail
case ${1:-} in
  -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  -*) echo "start-and-idle.sh: unknown option $1" >&2; sed -n '6p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
build=${1:-build/release}
idle_seconds=${2:-60}
bin=$build/bin
for f in Tessaro libKavrel.so nopicture.mov; do
  [ -e "$bin/$f" ] || { echo "missing $bin/$f: build the Tessaro target first" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
cp "$bin/Tessaro" "$bin/libKavrel.so" "$bin/nopicture.mov" "$work/"
export XDG_RUNTIME_DIR=$work/runtime
[ "${STATION_BENCH_X11:-0}" = 1 ] || export QT_QPA_PLATFORM=offscreen
port=$(( 20000 + RANDOM % 20000 ))

accepting() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }

starts=()
for run in $(seq 10); do
  t0=$(date +%s%N)
  "$work/Tessaro" --port "$port" >/dev/null 2>&1 &
  pid=$!
  until accepting; do sleep 0.002; done
  t1=$(date +%s%N)
  starts+=( $(( (t1 - t0) / 1000000 )) )
  kill "$pid"; wait "$pid" 2>/dev/null || true
done
sorted=$(printf '%s\n' "${starts[@]}" | sort -n)
median=$(printf '%s\n' "$sorted" | sed -n '5p;6p' | awk '{s+=$1} END {printf "%.1f", s/NR}')
echo "start to port accepting, ms: $(echo $sorted | tr '\n' ' ')(median $median)"

"$work/Tessaro" --port "$port" >/dev/null 2>&1 &
pid=$!
until accepting; do sleep 0.01; done
sleep 2
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
c0=$(cpu); t0=$(date +%s%N)
sleep "$idle_seconds"
c1=$(cpu); t1=$(date +%s%N)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
threads=$(awk '/Threads/ {print $2}' "/proc/$pid/status")
awk -v c=$((c1 - c0)) -v hz="$ticks" -v ns=$((t1 - t0)) -v rss="$rss" -v th="$threads" \
  'BEGIN {printf "idle over %.0f s: CPU %.2f %% of one core, RSS %.1f MiB, %d threads\n", ns/1e9, 100*c/hz/(ns/1e9), rss/1024, th}'
kill "$pid"; wait "$pid" 2>/dev/null || true
