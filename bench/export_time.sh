#!/usr/bin/env bash
# Times `kzmtool export` as a user runs it, the whole process from start to exit, for every
# format: on the demo project (5 pictures, speed 100: 500 frames at 450 x 450), then at the
# largest settings (quality 64, play size 1200, 2 of the demo's pictures, speed 100: 200 frames
# at 1200 x 1200). Prints the median of RUNS runs (3 unless given), the user and system CPU
# seconds of that run and the size of the result. Not a test; run it on a quiet machine.
#   bench/export_time.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-3}
kzmtool=$build/tools/kzmtool
demo=$build/demo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The largest settings: the demo's first two faces with their points.
awk '/^#/ { print; next } { print $1, $2, $3, $4 }' "$demo/points.txt" >"$work/points2.txt"
"$kzmtool" new "$work/largest.kzm" "$demo/face0.bmp" "$demo/face1.bmp" \
  --points "$work/points2.txt" --quality 64 --size 1200 --speed 100

measure() {  # PROJECT TARGET: one line of figures
  local project=$1 target=$2 runs_seen=()
  for _ in $(seq "$runs"); do
    rm -rf "${work:?}/$target"
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$kzmtool" export "$project" "$work/$target" \
      --quiet
    runs_seen+=("$(cat "$work/time")")
  done
  local median
  median=$(printf '%s\n' "${runs_seen[@]}" | sort -n | awk '{ v[NR] = $0 } END { print v[int((NR + 1) / 2)] }')
  read -r wall user system <<<"$median"
  printf '%-28s %6.2f s  (user %.2f s, system %.2f s)  %s\n' "$(basename "$project") $target" \
    "$wall" "$user" "$system" "$(du -sh "$work/$target" | cut -f1)"
}

echo "median of $runs runs, whole process; load now: $(cut -d' ' -f1-3 /proc/loadavg)"
for project in "$demo/demo.kzm" "$work/largest.kzm"; do
  for target in morph.mp4 morph.gif frames/ morph.webm morph.webp; do
    measure "$project" "$target"
  done
done
