#!/usr/bin/env bash
# The editor in a real X server, driven with real keys: ORVANTE FILE.kzm opens the project, a
# Control+click on a pane adds a point, Ctrl+Z takes it back and Ctrl+Shift+Z brings it again;
# Escape then asks about the unsaved point: Escape cancels, Return saves into the project's file
# and ends the editor.
#   editor_undo_test.sh ORVANTE MAKE_PROJECT
source "$(dirname "$0")/harness.sh"
source "$(dirname "$0")/editor_e2e.sh"
orvante=$1
make_project=$2

e2e_init editor_undo
e2e_start_xvfb
"$make_project" two.kzm pictures=2
cp two.kzm original.kzm
picture='^2(48|55) 0 0$'  # the first picture is red
marker='^(255 51 51|0 102 255)$'  # the point, highlighted or not

e2e_start orvante "$orvante" two.kzm
editor=$E2E_PID
dialog=$(e2e_wait_window "two.kzm - orvante" 60 "$editor")
read -r -a spot <<<"$(editor_point "$dialog" left_pane -40 -30)"
e2e_wait_screen_pixel "${spot[0]}" "${spot[1]}" "$picture" 60 "$editor"

# Control + click: a point under the cursor, and the title marks the change.
e2e_focus "$dialog"
xdotool mousemove "${spot[0]}" "${spot[1]}" keydown ctrl click 1 keyup ctrl
e2e_wait_screen_pixel "${spot[0]}" "${spot[1]}" "$marker" 30 "$editor"
e2e_wait_window "two.kzm* - orvante" 30 "$editor" >/dev/null
xdotool mousemove "${spot[0]}" $((spot[1] + 60))  # the cursor away from the point

e2e_keys "$dialog" ctrl+z
e2e_wait_screen_pixel "${spot[0]}" "${spot[1]}" "$picture" 30 "$editor"
e2e_wait_window "two.kzm - orvante" 30 "$editor" >/dev/null
e2e_keys "$dialog" ctrl+shift+z
e2e_wait_screen_pixel "${spot[0]}" "${spot[1]}" "$marker" 30 "$editor"
e2e_wait_window "two.kzm* - orvante" 30 "$editor" >/dev/null

# Escape asks first; Escape in the question cancels, and the editor stays.
e2e_keys "$dialog" Escape
question=$(e2e_wait_window "orvante" 30 "$editor")
e2e_dismiss "$question" Escape 30
e2e_running "$editor" || e2e_fail "the editor ended although the question was cancelled"
cmp -s two.kzm original.kzm || e2e_fail "the project file changed without a save"

# Return answers Save: the point goes into two.kzm (its header's point count, at offset 12).
e2e_keys "$dialog" Escape
question=$(e2e_wait_window "orvante" 30 "$editor")
e2e_dismiss "$question" Return 30
e2e_wait_exit "$editor" 60
e2e_expect "$E2E_STATUS" 0 "exit code after saving"
e2e_expect "$(od -An -tu4 -j12 -N4 two.kzm | tr -d ' ')" 1 "points in the saved project"
echo "editor undo test passed"
