#!/usr/bin/env bash
# Measures, under Xvfb, how long kinora takes from its start to its first frame on screen: the
# time until its window is viewable, and until the middle of the screen is no longer black (the
# play square is there). The screen is read about every 0.1 s, so the second figure is late by
# up to that much. The projects take turns, so that each sees the same load. Not a test.
#   first_frame_time.sh KINORA RUNS PROJECT.kzm...
source "$(dirname "$0")/harness.sh"
kinora=$1
runs=$2
shift 2
projects=()
for project in "$@"; do projects+=("$(realpath "$project")"); done

e2e_init first_frame_time
e2e_start_xvfb

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
declare -A window_times frame_times
for run in $(seq "$runs"); do
  for project in "${projects[@]}"; do
    start=$(now_ms)
    e2e_start run "$kinora" "$project"
    e2e_wait_window "Rezud" 120 "$E2E_PID" >/dev/null
    window_times[$project]+="$(($(now_ms) - start)) "
    e2e_wait_screen_pixel 512 384 '^([1-9]|[0-9]+ [1-9]|[0-9]+ [0-9]+ [1-9])' 120 "$E2E_PID"
    frame_times[$project]+="$(($(now_ms) - start)) "
    e2e_keys "Rezud" Escape
    e2e_wait_exit "$E2E_PID" 60
  done
done
for project in "${projects[@]}"; do
  # shellcheck disable=SC2086
  echo "$(basename "$project"): median of $runs runs: window $(median ${window_times[$project]}) ms," \
    "first frame $(median ${frame_times[$project]}) ms (all: ${frame_times[$project]})"
done
