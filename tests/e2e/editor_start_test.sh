#!/usr/bin/env bash
# ORVANTE in a real X server: it starts, shows its dialog "orvante" with black panes, a
# screenshot of it is kept, and Exit ends it with exit code 0. A project named on the command
# line that cannot be read is refused with a message. Without a display it ends at once with exit
# code 1, but --help and --version still answer.
#   editor_start_test.sh ORVANTE SCREENSHOT.png
source "$(dirname "$0")/harness.sh"
source "$(dirname "$0")/editor_e2e.sh"
orvante=$1
screenshot=$2

e2e_init editor_start
e2e_start_xvfb
e2e_start orvante "$orvante"
dialog=$(e2e_wait_window "orvante" 60 "$E2E_PID")

# Both panes black, the dialog's own background around them: the dialog has painted.
read -r -a left <<<"$(editor_point "$dialog" left_pane)"
read -r -a right <<<"$(editor_point "$dialog" right_pane)"
e2e_wait_screen_pixel "${left[0]}" "${left[1]}" '^0 0 0$' 60 "$E2E_PID"
e2e_wait_screen_pixel "${right[0]}" "${right[1]}" '^0 0 0$' 60 "$E2E_PID"
read -r -a corner <<<"$(editor_origin "$dialog")"
[ "$(e2e_screen_pixel $((corner[0] + 2)) $((corner[1] + 2)))" != "0 0 0" ] ||
  e2e_fail "the dialog's background is black"

mkdir -p "$(dirname "$screenshot")"
e2e_screenshot "$screenshot" "$dialog"
# The classic 626 x 306 pixels (wider where the font needs it) under a menu bar.
read -r width height <<<"$(identify -format '%w %h' "$screenshot")"
[ "$width" -ge 626 ] && [ "$height" -gt 306 ] || e2e_fail "size of the dialog: ${width}x$height"

editor_click "$dialog" exit
e2e_wait_exit "$E2E_PID" 60
e2e_expect "$E2E_STATUS" 0 "exit code after Exit"

# A project on the command line that cannot be read: the load's message, then an empty project.
e2e_start broken "$orvante" "no such project.kzm"
box=$(e2e_wait_window "Error   ;-(" 60 "$E2E_PID")
e2e_dismiss "$box"
e2e_wait_window "orvante" 60 "$E2E_PID" >/dev/null
e2e_expect_file_contains broken.err "no such project.kzm" "the load's message"
e2e_keys "orvante" Escape
e2e_wait_exit "$E2E_PID" 60

# --help and --version answer without a display.
for option in --help --version; do
  env -u DISPLAY -u WAYLAND_DISPLAY "$orvante" $option >"option.out" 2>&1 ||
    e2e_fail "ORVANTE $option failed: $(cat option.out)"
  e2e_expect_file_contains option.out "ORVANTE" "ORVANTE $option"
done

# Without a display there is nothing to show the morphs on: the editor says so and ends.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$orvante" </dev/null >no_display.out 2>no_display.err || status=$?
e2e_expect "$status" 1 "exit code without a display"
e2e_expect_file_contains no_display.err "No 3dfx hardware found." "message without a display"
echo "editor start test passed (screenshot: $screenshot)"
