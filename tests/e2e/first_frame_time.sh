#!/usr/bin/env bash
# Measures, under Xvfb, how long kinora takes from its start to its first frame on screen:
# the program is started, Space is pressed as soon as its window is viewable, and the time is
# taken when OUT00000.TGA appears. That frame is the first one drawn after the key arrives, so
# the figure is an upper bound (by a few frames of window events at most). Not a test.
#   first_frame_time.sh KINORA PROJECT.kzm [RUNS]
source "$(dirname "$0")/harness.sh"
kinora=$1
project=$(realpath "$2")
runs=${3:-5}

e2e_init first_frame_time
e2e_start_xvfb

now_ms() { echo $(($(date +%s%N) / 1000000)); }
window_times=()
frame_times=()
for run in $(seq "$runs"); do
  mkdir "run$run"
  start=$(now_ms)
  (cd "run$run" && exec "$kinora" "$project") </dev/null >"run$run.out" 2>"run$run.err" &
  E2E_PID=$!
  E2E_PIDS+=("$E2E_PID")
  e2e_wait_window "Rezud" 120 "$E2E_PID" >/dev/null
  window_times+=($(($(now_ms) - start)))
  e2e_keys "Rezud" space
  e2e_wait_file "run$run/OUT00000.TGA" "" 120
  frame_times+=($(($(now_ms) - start)))
  e2e_keys "Rezud" Escape
  e2e_wait_exit "$E2E_PID" 60
  echo "run $run: window after ${window_times[-1]} ms, first frame after ${frame_times[-1]} ms"
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "median of $runs runs: window $(median "${window_times[@]}") ms," \
  "first frame $(median "${frame_times[@]}") ms"
