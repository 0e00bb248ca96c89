#!/usr/bin/env bash
# kinora in a real X server: Space saves the frame on display, Escape ends the playback (also
# right after a flood of mouse moves), and a second run starts its frame names again at
# OUT00000.TGA.
#   kinora_play_test.sh KINORA MAKE_PROJECT
source "$(dirname "$0")/harness.sh"
kinora=$1
make_project=$2

e2e_init kinora_play
e2e_start_xvfb

# Speed 1: every frame shows one picture whole, so a saved frame is one solid colour.
"$make_project" two.kzm pictures=2 speed=1 size=450
frame_bytes=$((18 + 3 * 450 * 450))

# The middle of the screen in a picture's colour: the playback is on screen. Red and blue are
# exact in RGB565; the presentation may widen 248 to 255.
picture_shown='^(2(48|55) 0 0|0 0 2(48|55))$'

# play DIR KEYS...: plays two.kzm from DIR, presses the keys, and expects exit code 0.
play() {
  local dir=$1
  shift
  mkdir -p "$dir"
  (cd "$dir" && exec "$kinora" ../two.kzm) </dev/null >"$E2E_DIR/$dir.out" 2>"$E2E_DIR/$dir.err" &
  E2E_PID=$!
  E2E_PIDS+=("$E2E_PID")
  e2e_wait_window "Rezud" 60 "$E2E_PID" >/dev/null
  e2e_wait_screen_pixel 512 384 "$picture_shown" 60 "$E2E_PID"
  e2e_screenshot "$E2E_DIR/$dir.png"  # kept for a look when the test fails
  e2e_keys "Rezud" "$@"
  e2e_wait_exit "$E2E_PID" 60
  e2e_expect "$E2E_STATUS" 0 "exit code after $*"
}

# The frame's middle pixel as "blue green red" bytes.
middle_pixel() {
  od -An -tx1 -j $((18 + 3 * (225 * 450 + 225))) -N 3 "$1" | tr -s ' ' | sed 's/^ //'
}

# The display window covers the screen, even with no window manager to ask.
e2e_start shown "$kinora" two.kzm
e2e_wait_window "Rezud" 60 "$E2E_PID" >/dev/null
e2e_wait_screen_pixel 512 384 "$picture_shown" 60 "$E2E_PID"
e2e_expect "$(e2e_window_geometry "$(e2e_wait_window "Rezud")")" "1024x768+0+0" "window geometry"
e2e_keys "Rezud" Escape
e2e_wait_exit "$E2E_PID" 60

# A flood of mouse moves (X queues them far faster than a frame a refresh takes them) does not
# hold Escape back: the player ends within moments, not after one frame per move.
e2e_start storm "$kinora" two.kzm
e2e_wait_window "Rezud" 60 "$E2E_PID" >/dev/null
e2e_wait_screen_pixel 512 384 "$picture_shown" 60 "$E2E_PID"
e2e_focus "Rezud"
moves=()
for i in $(seq 1500); do moves+=(mousemove $((i % 1000)) $((i % 700))); done
xdotool "${moves[@]}" key Escape
e2e_wait_exit "$E2E_PID" 5
e2e_expect "$E2E_STATUS" 0 "exit code after the mouse moves and Escape"

# Three saves, then Escape.
play first space space space Escape
for n in 0 1 2; do
  e2e_wait_file "first/OUT0000$n.TGA" "$frame_bytes" 10
  pixel=$(middle_pixel "first/OUT0000$n.TGA")
  case "$pixel" in
    "00 00 f8" | "f8 00 00") ;;  # picture 0 is red, picture 1 blue
    *) e2e_fail "OUT0000$n.TGA shows $pixel in its middle, not one of the pictures" ;;
  esac
done
[ ! -e first/OUT00003.TGA ] || e2e_fail "a fourth frame was saved"
[ "$(ls first | wc -l)" -eq 3 ] || e2e_fail "unexpected files: $(ls first)"

# Escape alone saves nothing.
play escape_only Escape
[ -z "$(ls escape_only)" ] || e2e_fail "Escape alone left files: $(ls escape_only)"

# A second run in the same directory starts again at OUT00000.TGA and overwrites it.
echo stale >first/OUT00000.TGA
play first space Escape
e2e_wait_file first/OUT00000.TGA "$frame_bytes" 10
[ "$(ls first | wc -l)" -eq 3 ] || e2e_fail "the second run added files: $(ls first)"

echo "kinora play test passed"
