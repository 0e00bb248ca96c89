# What the editor's end-to-end scripts share beyond harness.sh: where the dialog is on the
# screen and where its controls stand in it. Sourced after harness.sh, not run.

# The controls in the classic layout, in dialog units: x, y, width, height. The dialog shows them
# under its menu bar, x and widths times its factor across (1.5, or more where its font needs the
# room), y and heights times its factor down (1.625, or more likewise).
declare -A EDITOR_CONTROL=(
  [play]="180 5 65 15" [previous]="180 25 30 10" [next]="215 25 30 10" [load]="180 60 30 15"
  [save]="215 60 30 15" [clear_all]="180 170 65 15" [save_tga]="150 170 10 10"
  [about]="330 170 40 15" [exit]="375 170 40 15" [left_pane]="5 5 170 160"
  [right_pane]="250 5 164 160"
)

# editor_layout ID: "X Y ACROSS DOWN MENU": the dialog's top-left corner on the screen, its
# factors and its menu bar's height. The width (417 units) tells the factor across. The factor
# down grows with the font apart from it, and the menu bar's height with it, so both are read off
# the screen. A pane draws its picture over the top and the left of its frame but never down to
# the frame's bottom (row 165): in the column 300 units across, the last dark pixel is that
# bottom, and below it lie the dialog's last 23 units (of 188). That gives the factor down
# within 1/23, and then the menu bar's height.
editor_layout() {
  local x y w h
  IFS='x+' read -r w h x y <<<"$(e2e_window_geometry "$1")"
  import -window root -crop "1x$h+$((x + (300 * w + 208) / 417))+$y" -depth 8 txt:- |
    awk -v x="$x" -v y="$y" -v w="$w" -v h="$h" '
      NR > 1 {
        split($1, at, /[,:]/)
        gsub(/[()]/, "", $2)
        split($2, rgb, ",")
        if (rgb[1] + rgb[2] + rgb[3] < 192) frame = at[2]
      }
      END {
        down = (h - frame - 1) / 23
        print x, y, w / 417, down, frame + 1 - int(5 * down + 0.5) - int(160 * down + 0.5)
      }'
}

# editor_origin ID: the dialog's top-left corner on the screen, "X Y".
editor_origin() {
  local x y w h
  IFS='x+' read -r w h x y <<<"$(e2e_window_geometry "$1")"
  echo "$x $y"
}

# editor_point ID CONTROL [DX DY]: the screen position of a control's centre (moved by DX, DY).
editor_point() {
  editor_layout "$1" | awk -v control="${EDITOR_CONTROL[$2]}" -v dx="${3:-0}" -v dy="${4:-0}" '{
    split(control, c, " ")
    printf "%d %d\n", $1 + int((c[1] + c[3] / 2) * $3 + 0.5) + dx,
      $2 + $5 + int((c[2] + c[4] / 2) * $4 + 0.5) + dy
  }'
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
