#!/usr/bin/env bash
# The archive's retention pass over a synthetic year of a fleet.
#
#   bench/archive/retention-pass.sh [--build DIR] [--folder DIR] [--days N] [--recorders N]
#
# Makes the year with bench/archive/make-year-archive (in a temporary folder
# unless --folder; ending today) and times one pass of the station's retention
# (archive-retention-pass, built in DIR, build/release unless given):
#   idle       KEEP_DAYS=400: the limits not crossed, what the station does
#              once a minute (every day folder listed)
#   keep-30    KEEP_DAYS=30: the oldest days go
#   free-space MIN_FREE_GIB=20 with 5 GiB free, faked to grow by 1 GiB for
#              each day deleted
#   again      KEEP_DAYS=30 once more: nothing left to do
#   rm -rf     for comparison, the system's rm deleting 100 more days
# with the files and folders of the tree before and after each step, and the
# load average.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$root/build/release
folder=
days=365
recorders=99
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    --days) days=$2; shift 2 ;;
    --recorders) recorders=$2; shift 2 ;;
    -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "retention-pass: unknown option $1" >&2; exit 2 ;;
  esac
done

cmake --build "$build" --target archive-retention-pass >/dev/null
pass=$build/bin/archive-retention-pass
[ -x "$pass" ] || pass=$(find "$build" -name archive-retention-pass -type f -perm -u+x | head -1)

cleanup=
if [ -z "$folder" ]; then
  folder=$(mktemp -d "${TMPDIR:-/tmp}/year-archive-XXXXXX")
  cleanup=$folder
fi
trap '[ -n "$cleanup" ] && rm -rf "$cleanup"' EXIT

today=$(date +%F)
echo "== making $days days of $recorders recorders in $folder"
start=$(date +%s.%N)
"$here/make-year-archive" "$folder" --last-day "$today" --days "$days" --recorders "$recorders" --force
sync # the year on the disk before anything is timed
echo "made in $(echo "$(date +%s.%N) - $start" | bc) s"

tree() {
  echo "  tree: $(find "$folder" -type f | wc -l) files, $(find "$folder" -mindepth 1 -type d | wc -l) folders, $(du -sh "$folder" | cut -f1)"
}
step() {
  local name=$1; shift
  echo "== $name"
  tree
  "$pass" "$folder" "$today" "$@" | sed 's/^/  /'
  tree
  echo "  load average: $(cut -d' ' -f1-3 /proc/loadavg)"
}
step idle 400 0
step keep-30 30 0
step free-space 0 20 5
step again 30 0
echo "== rm -rf, for comparison: a year made again, its 100 oldest days"
rm -rf "$folder" && mkdir -p "$folder"
"$here/make-year-archive" "$folder" --last-day "$today" --days "$days" --recorders "$recorders" --force >/dev/null
sync
mapfile -t oldest < <(cd "$folder" && ls -d [0-9][0-9][0-9][0-9]/[0-9][0-9]/[0-9][0-9] | sort | head -100)
echo "  $(cd "$folder" && find "${oldest[@]}" -type f | wc -l) files in ${#oldest[@]} days"
start=$(date +%s.%N)
(cd "$folder" && rm -rf "${oldest[@]}")
echo "  rm_ms=$(echo "($(date +%s.%N) - $start) * 1000" | bc)"
echo "  load average: $(cut -d' ' -f1-3 /proc/loadavg)"
step keep-100-more 165 0
