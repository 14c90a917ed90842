# Shared by the scripts that start stations (sourced, not run): building the
# station, assembling a program folder, starting it with or without a display,
# the virtual GPS port's folder, and the demo's fleet of simulated recorders.
# The building, folder and fleet steps expect $root (the repository) to be set
# by the sourcing script.

# Builds the station's program and the tools around it.
station_build() {
  cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build/release" -j "$(nproc 2>/dev/null || echo 2)" \
    --target Tessaro TessaroArchive kavrel-listen recorder-sim
}

# The program folder: the program, the archive browser, the receiver library
# and the idle movie.
# The archive, the library's log and its settings file quvex.ini live there
# too. The track replayed to the virtual GPS port until live positions come is
# put there unless the folder already has one (perhaps edited).
station_assemble_folder() {
  local folder=$1 f
  mkdir -p "$folder"
  for f in Tessaro TessaroArchive libKavrel.so nopicture.mov; do
    cp --remove-destination "$root/build/release/bin/$f" "$folder/$f"
  done
  [ -e "$folder/Track1.txt" ] || cp "$root/monitor/app/data/Track1.txt" "$folder/Track1.txt"
}

# Whether program $1 is installed (daemons such as gpsd may lie outside PATH).
station_has() {
  command -v "$1" >/dev/null 2>&1 || [ -x "/usr/sbin/$1" ]
}

# Fails with the Debian package to install when a program is missing.
station_need() {
  station_has "$1" ||
    { echo "$(basename "$0"): $1 is missing: install the Debian package $2 (scripts/setup)" >&2; exit 1; }
}

# The user's runtime folder, found as the station finds it (platform/Paths.h):
# $XDG_RUNTIME_DIR, else ~/.cache/tessaro-<host name> in the user's own home,
# never a folder that other users share.
station_runtime_dir() {
  if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    echo "$XDG_RUNTIME_DIR"
  else
    local home=${HOME:-}
    [ -n "$home" ] || home=$(getent passwd "$(id -u)" | cut -d: -f6)
    echo "$home/.cache/tessaro-$(uname -n | tr / _)"
  fi
}

# The virtual GPS port's folder, found as the station finds it
# (platform/DevicePath.h): $VGPS_DIR, else "vgps" in the runtime folder.
station_vgps_dir() {
  if [ -n "${VGPS_DIR:-}" ]; then
    echo "$VGPS_DIR"
  else
    echo "$(station_runtime_dir)/vgps"
  fi
}

# The process id of the station that holds this user's single-instance lock
# (platform/SingleInstanceLock.h: a flock on Tessaro_MUTEX.lock in the runtime
# folder, with the holder's pid in it), as "pid N" or "" when unknown; fails
# when no station holds it.
station_running() {
  local lock
  lock=$(station_runtime_dir)/Tessaro_MUTEX.lock
  [ -f "$lock" ] || return 1
  flock -n "$lock" true 2>/dev/null && return 1
  local pid
  pid=$(head -c 16 "$lock" | tr -dc 0-9)
  echo "${pid:+pid $pid}"
}

# Sets station_launcher to what the station starts under: nothing with a
# display, a virtual X server (Xvfb) without one, which station_headless tells,
# on the first free display, which station_display names (":N"). Its
# authority file, station_xauth (what an X client such as ffmpeg needs beside
# the display), lies in a private folder of the script's own, station_private,
# which also holds the station's process id; station_cleanup removes it.
station_choose_launcher() {
  station_launcher=()
  station_headless=false
  station_display=${DISPLAY:-}
  station_private=$(mktemp -d -t tessaro-run.XXXXXX)
  station_xauth=
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    local n=99
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    station_xauth=$station_private/Xauthority
    station_launcher=(xvfb-run -n "$n" -f "$station_xauth" -s "-screen 0 1280x1024x24")
    station_headless=true
    station_display=:$n
  fi
}

# Starts the program $1 (arguments after it) under the launcher, in a session
# of its own, so that Ctrl-C in the terminal reaches only the script, which
# then stops the station in order (station_stop). station_session is the
# session's first process (the launcher, or the station itself).
station_start() {
  setsid "${station_launcher[@]}" sh -c 'echo $$ >"$0"; exec "$@"' "$station_private/pid" "$@" &
  station_session=$!
}

# Stops what station_start started: SIGTERM to the station, which closes its
# window while its X server still runs; then the launcher stops the X server
# and cleans up after itself. Whatever is left after the grace time is ended.
station_stop_grace=10
station_stop() {
  [ -n "${station_session:-}" ] || return 0
  local pid i
  pid=$(cat "$station_private/pid" 2>/dev/null || true)
  [ -z "$pid" ] || kill -TERM "$pid" 2>/dev/null || true
  for i in $(seq $((station_stop_grace * 10))); do
    kill -0 "$station_session" 2>/dev/null || break
    sleep 0.1
  done
  kill -TERM -- "-$station_session" 2>/dev/null || true
  wait "$station_session" 2>/dev/null || true
  station_session=
}

station_cleanup() {
  [ -z "${station_private:-}" ] || rm -rf "$station_private"
}

# Whether something listens on TCP port $1 on this machine (any address).
station_port_listening() {
  local hex f files=()
  hex=$(printf ':%04X' "$1")
  for f in /proc/net/tcp /proc/net/tcp6; do [ -r "$f" ] && files+=("$f"); done
  # Column 2 is the local address:port in hex, column 4 the state (0A: listening).
  awk -v p="$hex" '$4 == "0A" && substr($2, length($2) - 4) == p { found = 1 } END { exit !found }' \
    "${files[@]}"
}

# Waits until port $1 listens, while process $2 lives; at most 10 s.
station_wait_for_port() {
  local port=$1 pid=$2 n
  for n in $(seq 100); do
    station_port_listening "$port" && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# A TCP port that nothing listens on, for a station of a script's own.
station_free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 20000))
    station_port_listening "$port" || { echo "$port"; return; }
  done
}

# The demo's fleet: three recorders with keys of their own (serial_id), each
# driving along a real receiver log of its own (tests/data/nmea/, README.md
# there), each sending its clips on a channel of its own, each clip a test
# pattern of its own, so that the operator sees which recorder a clip is from.
demo_serials=(BUS-12 VAN-7 TRUCK-3)
demo_ids=(1 2 3)
demo_departments=(North South West)
demo_users=("Driver 1" "Driver 2" "Driver 3")
demo_locations=(Lithuania Germany Oregon)
demo_tracks=(bt451-car.nmea nl402u-slow.nmea neo-m8n-parked.nmea)
demo_channels=(1 2 3)
demo_patterns=(testsrc smptebars testsrc2)
demo_pids=()

demo_key() { echo "${demo_serials[$1]}_${demo_ids[$1]}"; }
demo_clip() { echo "$root/build/demo/clip-$(($1 + 1))-${demo_patterns[$1]}.mov"; }

# Makes each recorder's clip once with the ffmpeg program: 320x240, two
# seconds of MPEG-4 in a QuickTime file, tens of kilobytes (the station keeps
# only clips larger than 2000 bytes).
demo_make_clips() {
  station_need ffmpeg ffmpeg
  mkdir -p "$root/build/demo"
  local i clip
  for i in "${!demo_patterns[@]}"; do
    clip=$(demo_clip "$i")
    [ -s "$clip" ] && continue
    ffmpeg -hide_banner -loglevel error -nostdin -y \
      -f lavfi -i "${demo_patterns[$i]}=size=320x240:rate=10:duration=2" \
      -c:v mpeg4 -q:v 5 -pix_fmt yuv420p -f mov "$clip.part"
    mv "$clip.part" "$clip"
  done
}

# Starts recorder $1 (0-based) in the background, calling 127.0.0.1 on port
# $2, its output going to file $3; further arguments go to recorder-sim (how
# many packets, how fast). Its process id is appended to demo_pids.
demo_recorder_start() {
  local i=$1 port=$2 log=$3
  shift 3
  "$root/build/release/bin/recorder-sim" --port "$port" \
    --serial "${demo_serials[$i]}" --id "${demo_ids[$i]}" \
    --department "${demo_departments[$i]}" --user "${demo_users[$i]}" \
    --location "${demo_locations[$i]}" \
    --track "$root/tests/data/nmea/${demo_tracks[$i]}" \
    --clip "$(demo_clip "$i")" --channel "${demo_channels[$i]}" "$@" >"$log" 2>&1 &
  demo_pids+=($!)
}

# Asks every recorder still running to stop (each ends after its packet under
# way) and waits for them.
demo_recorders_stop() {
  local pid
  for pid in "${demo_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${demo_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  demo_pids=()
}
