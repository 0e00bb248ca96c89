#!/usr/bin/env bash
# Measures, under Xvfb, the player's peak resident size (VmHWM) while it plays a project: kinora
# starts, its first frame appears, it plays for a few seconds, the peak is read from
# /proc/PID/status, then Escape ends it. Not a test.
#   player_peak_memory.sh KINORA PROJECT.kzm [RUNS] [SCREEN] [SECONDS]
source "$(dirname "$0")/harness.sh"
kinora=$(realpath "$1")
project=$(realpath "$2")
runs=${3:-3}
screen=${4:-1920x1080x24}
play_seconds=${5:-5}

e2e_init player_peak_memory
e2e_start_xvfb "$screen"
width=${screen%%x*}
rest=${screen#*x}
height=${rest%%x*}

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peaks=()
for run in $(seq "$runs"); do
  e2e_start kinora "$kinora" "$project"
  e2e_wait_window "Rezud" 120 "$E2E_PID" >/dev/null
  e2e_wait_screen_pixel $((width / 2)) $((height / 2)) \
    '^([1-9]|[0-9]+ [1-9]|[0-9]+ [0-9]+ [1-9])' 120 "$E2E_PID"
  sleep "$play_seconds"
  peak=$(awk '/^VmHWM:/ { print int($2 / 1024) }' "/proc/$E2E_PID/status")
  peaks+=("$peak")
  echo "run $run: peak resident $peak MiB"
  e2e_keys "Rezud" Escape
  e2e_wait_exit "$E2E_PID" 60
done
echo "median of $runs runs: $(median "${peaks[@]}") MiB"
