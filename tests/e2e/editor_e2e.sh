# What the editor's end-to-end scripts share beyond harness.sh: where the dialog is on the
# screen and where its controls stand in it. Sourced after harness.sh, not run.

# The controls' centres in the dialog, in pixels (the classic layout converted from dialog
# units: x times 1.5, y times 1.625).
declare -A EDITOR_CONTROL=(
  [play]="319 20" [previous]="292 49" [next]="345 49" [load]="292 110" [save]="345 110"
  [clear_all]="319 288" [save_tga]="232 284" [about]="518 288" [exit]="593 288"
  [left_pane]="135 138" [right_pane]="498 138"
)

# editor_origin ID: the dialog's top-left corner on the screen, "X Y".
editor_origin() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
    END { print x, y }'
}

# editor_point ID CONTROL [DX DY]: the screen position of a control's centre (moved by DX, DY).
editor_point() {
  local origin control
  read -r -a origin <<<"$(editor_origin "$1")"
  read -r -a control <<<"${EDITOR_CONTROL[$2]}"
  echo "$((origin[0] + control[0] + ${3:-0})) $((origin[1] + control[1] + ${4:-0}))"
}

# editor_click ID CONTROL: a real mouse click on the control.
editor_click() {
  local point
  read -r -a point <<<"$(editor_point "$1" "$2")"
  xdotool mousemove "${point[0]}" "${point[1]}" click 1
}

# editor_open_file ID PATH: clicks Load, types PATH into the file dialog and confirms it.
editor_open_file() {
  editor_click "$1" load
  local dialog
  dialog=$(e2e_wait_window "Open" 60 "$E2E_PID")
  e2e_focus "$dialog"
  xdotool type --delay 2 "$2"
  xdotool key Return
  local deadline
  deadline=$(_e2e_deadline 60)
  while e2e_viewable "$dialog"; do
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "the file dialog did not take $2"
    sleep 0.05
  done
}

# editor_wait_no_window NAME [TIMEOUT]: waits until no window of that name is on the screen.
editor_wait_no_window() {
  local deadline id shown
  deadline=$(_e2e_deadline "${2:-60}")
  while :; do
    shown=0
    for id in $(e2e_find_windows "$1"); do
      e2e_viewable "$id" && shown=1
    done
    [ "$shown" -eq 0 ] && return 0
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "a window \"$1\" is still on the screen"
    sleep 0.05
  done
}
