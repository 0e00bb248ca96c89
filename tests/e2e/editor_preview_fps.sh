#!/usr/bin/env bash
# Measures, under Xvfb, how many frames per second the editor's preview reaches: the project is
# loaded through the file dialog, "Save TGA files" is checked and the preview plays until it
# closes by itself after speed x pictures frames; the rate is taken from the first and last frame
# files' times. Every frame is read back and written as a file, so the figure includes that
# work; the work directory should be in memory (E2E_ROOT=/dev/shm/...), where writing a file
# costs no disk flush. Not a test.
#   editor_preview_fps.sh ORVANTE PROJECT.kzm [RUNS] [SCREEN]
source "$(dirname "$0")/harness.sh"
source "$(dirname "$0")/editor_e2e.sh"
orvante=$(realpath "$1")
project=$(realpath "$2")
runs=${3:-3}
screen=${4:-1600x1200x24}

e2e_init editor_preview_fps
E2E_KEEP=${E2E_KEEP:-0}
e2e_start_xvfb "$screen"
e2e_start orvante "$orvante"
editor=$E2E_PID
dialog=$(e2e_wait_window "orvante" 60 "$editor")
editor_open_file "$dialog" "$project"
read -r -a left <<<"$(editor_point "$dialog" left_pane)"
e2e_wait_screen_pixel "${left[0]}" "${left[1]}" '[1-9]' 60 "$editor"  # the project is shown
editor_click "$dialog" save_tga

rates=()
for run in $(seq "$runs"); do
  rm -f OUT*.TGA
  editor_click "$dialog" play
  e2e_wait_window "Rezud" 60 "$editor" >/dev/null
  # (SDL may replace its window once while it sets up: the first frame file is the sure sign
  # that the preview plays.)
  e2e_wait_file OUT00000.TGA "" 600
  editor_wait_no_window "Rezud" 3600
  frames=$(find . -maxdepth 1 -name 'OUT*.TGA' | wc -l)
  last=$(find . -maxdepth 1 -name 'OUT*.TGA' | sort | tail -n 1)
  rate=$(awk -v n="$frames" -v a="$(stat -c %.9Y OUT00000.TGA)" -v b="$(stat -c %.9Y "$last")" \
    'BEGIN { printf "%.1f", (n - 1) / (b - a) }')
  rates+=("$rate")
  echo "run $run: $frames frames, $rate frames per second"
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "median of $runs runs: $(median "${rates[@]}") frames per second"
editor_click "$dialog" exit
e2e_wait_exit "$editor" 60
