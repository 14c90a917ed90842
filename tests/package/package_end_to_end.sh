#!/usr/bin/env bash
# Builds the three packages from the build's programs (cpack), checks what they
# hold and depend on, unpacks them into a temporary root, and runs the unpacked
# station there with its program folder read-only: it must name its data folder
# (XDG_DATA_HOME/tessaro) on standard error, archive a simulated recorder's
# positions there, and the unpacked archive browser's export must list that
# recorder from the same folder without being told where. The desktop entries
# pass desktop-file-validate, the gateway's unit systemd-analyze verify. Nothing is installed on this machine.
#
#   package_end_to_end.sh BUILD_DIR
set -euo pipefail
build=$1
for tool in cpack dpkg-deb systemd-analyze desktop-file-validate python3; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup installs it)"; exit 1; }
done
tmp=$(mktemp -d)
station_pid=
cleanup() {
  [ -z "$station_pid" ] || { kill -TERM "$station_pid" 2>/dev/null; wait "$station_pid" 2>/dev/null || true; }
  chmod -R u+w "$tmp" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ ! -f "$tmp/station.err" ] || sed 's/^/  station: /' "$tmp/station.err"; exit 1; }
# Waits (bounded) until the command succeeds.
wait_for() {
  local limit=$1; shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# 1. The packages, made from this build.
(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; fail "cpack"; }
deb() {
  local found=("$tmp/out/$1"_*.deb)
  [ ! -e "${found[0]}" ] || echo "${found[0]}"
}
for p in tessaro tessaro-gateway tessaro-tools; do [ -n "$(deb "$p")" ] || fail "no package $p"; done

# 2. What each holds (package, then path), and what the station's depends on.
for p in tessaro tessaro-gateway tessaro-tools; do dpkg-deb -c "$(deb "$p")" >"$tmp/$p.list"; done
while read -r package path; do
  grep -q " \./${path}\$" "$tmp/$package.list" || fail "$package lacks /$path"
done <<'LIST'
tessaro usr/bin/Tessaro
tessaro usr/bin/TessaroArchive
tessaro usr/lib/tessaro/libKavrel.so
tessaro usr/share/tessaro/nopicture.mov
tessaro usr/share/tessaro/Track1.txt
tessaro usr/share/applications/tessaro.desktop
tessaro usr/share/man/man1/Tessaro.1.gz
tessaro-gateway usr/bin/tessaro-gateway
tessaro-gateway usr/share/man/man1/tessaro-gateway.1.gz
tessaro-gateway usr/lib/systemd/system/tessaro-gateway.service
tessaro-gateway etc/tessaro/tessaro-gateway
tessaro-gateway etc/tessaro/tessaro.ini
tessaro-tools usr/bin/recorder-sim
LIST
depends=$(dpkg-deb -f "$(deb tessaro)" Depends)
for lib in libqt6widgets6 libavformat libavcodec libc6; do
  [[ $depends == *"$lib"* ]] || fail "tessaro's Depends lacks $lib: $depends"
done
[[ $(dpkg-deb -f "$(deb tessaro-gateway)" Depends) == *"tessaro (= "* ]] ||
  fail "tessaro-gateway does not depend on the station's library package"

# 3. Unpacked, read-only, run by a user with a home of its own.
root=$tmp/root
for p in tessaro tessaro-gateway tessaro-tools; do dpkg-deb -x "$(deb "$p")" "$root"; done
for entry in "$root"/usr/share/applications/*.desktop; do
  if ! findings=$(desktop-file-validate "$entry" 2>&1) || [ -n "$findings" ]; then
    fail "$entry: $findings"
  fi
done
chmod -R a-w "$root/usr"
mkdir -p "$tmp/home" "$tmp/xdg" "$tmp/run"
chmod 700 "$tmp/run"
export HOME=$tmp/home XDG_DATA_HOME=$tmp/xdg XDG_RUNTIME_DIR=$tmp/run QT_QPA_PLATFORM=offscreen
unset TESSARO_DATA
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$root/usr/bin/Tessaro" --port "$port" 2>"$tmp/station.err" &
station_pid=$!
data=$XDG_DATA_HOME/tessaro/
said() { grep -q "archive and settings in $data\$" "$tmp/station.err"; }
wait_for 30 said || fail "the station did not name $data as its data folder"
listening() { python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null; }
wait_for 60 listening || fail "the station does not listen on port $port"
"$root/usr/bin/recorder-sim" --port "$port" --positions 3 --interval 50 >"$tmp/sim.log" 2>&1 ||
  { cat "$tmp/sim.log"; fail "recorder-sim"; }
day=$(date +%F)
archived() { [ -n "$(find "$data" -mindepth 4 -type f -path "*/$(date +%Y)/*" 2>/dev/null | head -1)" ]; }
wait_for 30 archived || fail "nothing archived under $data"
[ -z "$(find "$root/usr/bin" -newer "$tmp/station.err" -print -quit)" ] || fail "the station wrote beside its program"
listed=$("$root/usr/bin/TessaroArchive" export --day "$day" 2>&1) || fail "export: $listed"
[[ $listed == *SIM* ]] || fail "the export does not list the recorder: $listed"
kill -TERM "$station_pid"
wait "$station_pid" || fail "the station ended with a fault"
station_pid=

# 4. The gateway's unit, pointing at the unpacked gateway (verify checks that
# the command exists); its manual page is checked above, not by man here.
unit=$tmp/tessaro-gateway.service
sed "s|/usr/bin/tessaro-gateway|$root/usr/bin/tessaro-gateway|" \
  "$root/usr/lib/systemd/system/tessaro-gateway.service" >"$unit"
grep -q "^ExecStart=$root/usr/bin/tessaro-gateway " "$unit" || fail "the unit does not start /usr/bin/tessaro-gateway"
analysis=$(systemd-analyze verify --man=no "$unit" 2>&1) || fail "systemd-analyze verify: $analysis"
[ -z "$analysis" ] || fail "systemd-analyze verify says: $analysis"
echo "PASS"
