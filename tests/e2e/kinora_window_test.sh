#!/usr/bin/env bash
# kinora --window in a real X server: an ordinary window titled with the file's name, the play
# square's size, filled by the play square scaled with its aspect kept; F11 switches to the
# whole desktop and back; Space and Escape work as full-screen; --help names the option.
#   kinora_window_test.sh KINORA MAKE_PROJECT
source "$(dirname "$0")/harness.sh"
kinora=$1
make_project=$2

e2e_init kinora_window
e2e_start_xvfb
"$make_project" "my morph.kzm" pictures=2 speed=1 size=300
picture_shown='^(2(48|55) 0 0|0 0 2(48|55))$'

"$kinora" --help >help.out || e2e_fail "kinora --help failed"
e2e_expect_file_contains help.out "--window" "kinora --help"

e2e_start kinora "$kinora" --window my morph.kzm
window=$(e2e_wait_window "my morph.kzm" 60 "$E2E_PID")
read -r -a origin <<<"$(e2e_window_geometry "$window" | sed 's/.*+\([0-9]*\)+\([0-9]*\)$/\1 \2/')"
e2e_wait_screen_pixel $((origin[0] + 150)) $((origin[1] + 150)) "$picture_shown" 60 "$E2E_PID"
geometry=$(e2e_window_geometry "$window")
e2e_expect "${geometry%%+*}" "300x300" "the window's first size"
# The play square fills the window: its corners show the picture, not the black around the
# square that the whole frame has.
e2e_wait_screen_pixel $((origin[0] + 3)) $((origin[1] + 3)) "$picture_shown" 10 "$E2E_PID"

# Wider than high: the square keeps its aspect, between black bars.
xdotool windowsize "$window" 600 300
e2e_wait_screen_pixel $((origin[0] + 20)) $((origin[1] + 150)) '^0 0 0$' 30 "$E2E_PID"
e2e_wait_screen_pixel $((origin[0] + 300)) $((origin[1] + 150)) "$picture_shown" 30 "$E2E_PID"

# F11: the whole desktop, then the window again.
e2e_keys "$window" F11
e2e_wait_window "Rezud" 30 "$E2E_PID" >/dev/null
e2e_wait_screen_pixel 512 384 "$picture_shown" 30 "$E2E_PID"
[ "$(e2e_window_geometry "$window")" = "1024x768+0+0" ] || e2e_fail "F11 did not cover the desktop"
e2e_keys "$window" F11
e2e_wait_window "my morph.kzm" 30 "$E2E_PID" >/dev/null

e2e_keys "$window" space Escape
e2e_wait_exit "$E2E_PID" 60
e2e_expect "$E2E_STATUS" 0 "exit code after Escape"
e2e_wait_file OUT00000.TGA $((18 + 3 * 300 * 300)) 10
echo "kinora window test passed"
