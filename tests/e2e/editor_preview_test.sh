#!/usr/bin/env bash
# The editor's preview in a real X server: a project is loaded through the file dialog, the
# preview button plays it, Space twice saves OUT00000.TGA and OUT00001.TGA, Escape ends it, and
# the editor still responds afterwards; a second preview works like the first.
#   editor_preview_test.sh ORVANTE MAKE_PROJECT
source "$(dirname "$0")/harness.sh"
source "$(dirname "$0")/editor_e2e.sh"
orvante=$1
make_project=$2

e2e_init editor_preview
e2e_start_xvfb
# Speed 1: every frame shows one whole picture, red, blue or green. Three pictures make the
# frame limit 3, so that two Spaces leave the preview to Escape.
"$make_project" three.kzm pictures=3 speed=1 size=450
frame_bytes=$((18 + 3 * 450 * 450))
picture_shown='^(2(48|55) 0 0|0 0 2(48|55)|0 2(52|55) 0)$'

e2e_start orvante "$orvante"
editor=$E2E_PID
dialog=$(e2e_wait_window "orvante" 60 "$editor")
editor_open_file "$dialog" "$E2E_DIR/three.kzm"
read -r -a left <<<"$(editor_point "$dialog" left_pane)"
e2e_wait_screen_pixel "${left[0]}" "${left[1]}" '^2(48|55) 0 0$' 60 "$editor"

# preview KEYS...: presses the preview button, waits for the morph on screen, presses the keys
# and waits until the display window has gone.
preview() {
  editor_click "$dialog" play
  local shown
  shown=$(e2e_wait_window "Rezud" 60 "$editor")
  local middle
  read -r -a middle <<<"$(xwininfo -id "$shown" | awk '/Absolute upper-left X/ { x = $4 }
    /Absolute upper-left Y/ { y = $4 } /Width:/ { w = $2 } /Height:/ { h = $2 }
    END { print x + int(w / 2), y + int(h / 2) }')"
  e2e_wait_screen_pixel "${middle[0]}" "${middle[1]}" "$picture_shown" 60 "$editor"
  e2e_keys "Rezud" "$@"
  editor_wait_no_window "Rezud" 60
}

preview space space Escape
e2e_wait_file OUT00000.TGA "$frame_bytes" 10
e2e_wait_file OUT00001.TGA "$frame_bytes" 10
[ ! -e OUT00002.TGA ] || e2e_fail "a third frame was saved"

# The editor responds: Clear All asks, Escape answers Cancel, the pictures stay.
editor_click "$dialog" clear_all
confirm=$(e2e_wait_window "Confirm" 60 "$editor")
e2e_dismiss "$confirm" Escape
e2e_wait_screen_pixel "${left[0]}" "${left[1]}" '^2(48|55) 0 0$' 10 "$editor"

# A second preview numbers its frames from OUT00000.TGA again.
rm OUT00000.TGA OUT00001.TGA
preview space Escape
e2e_wait_file OUT00000.TGA "$frame_bytes" 10
[ ! -e OUT00001.TGA ] || e2e_fail "the second preview saved two frames"

editor_click "$dialog" exit
e2e_wait_exit "$editor" 60
e2e_expect "$E2E_STATUS" 0 "exit code after Exit"
echo "editor preview test passed"
