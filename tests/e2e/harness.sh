# End-to-end test harness: runs real programs in an X server of the test's own (Xvfb), finds
# their windows, presses keys, takes screenshots, and cleans everything up at the end.
# Sourced by the test scripts, not run. Every wait has a timeout; none relies on a fixed sleep.
#
#   source harness.sh
#   e2e_init my_test                    # work dir $E2E_DIR (the current directory from here on)
#   e2e_start_xvfb                      # exports DISPLAY and XAUTHORITY
#   e2e_start app ./program ARGS...     # runs in the background: $E2E_PID, app.out, app.err
#   id=$(e2e_wait_window "Title")       # a viewable top-level window of that exact name
#   e2e_keys "Title" space Escape       # focus it (by name or id), then real key presses (XTEST)
#   e2e_dismiss "$box"                  # Return until the window is gone (message boxes)
#   e2e_wait_exit "$E2E_PID"            # its exit code in $E2E_STATUS
#   e2e_screenshot shown.png
#
# Timeouts are in seconds and scale with E2E_TIMEOUT_FACTOR (the sanitizer build is slow).
# Artifacts (screenshots, program output) of a failed test stay in $E2E_DIR, which is printed.

set -euo pipefail

E2E_TIMEOUT_FACTOR=${E2E_TIMEOUT_FACTOR:-1}
E2E_DIR=""
E2E_XVFB_PID=""
E2E_PIDS=()
E2E_PID=""
E2E_STATUS=""
E2E_KEEP=0

_e2e_log() { echo "e2e: $*" >&2; }

# e2e_running PID: true while the process runs (one that ended but was not waited for yet
# still answers kill -0, so its state is read).
e2e_running() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ "$state" != Z* ]]
}

# _e2e_deadline SECONDS: the time by which a wait of that many (scaled) seconds gives up.
_e2e_deadline() { echo $((SECONDS + $1 * E2E_TIMEOUT_FACTOR)); }

# e2e_init NAME: a fresh work directory under $E2E_ROOT (or the system's temp dir), made the
# current directory; everything the test started is ended when the script exits.
e2e_init() {
  local root=${E2E_ROOT:-${TMPDIR:-/tmp}}
  mkdir -p "$root"
  E2E_DIR=$(mktemp -d "$root/$1.XXXXXX")
  cd "$E2E_DIR"
  trap _e2e_cleanup EXIT
}

_e2e_cleanup() {
  local status=$?
  local pid
  for pid in "${E2E_PIDS[@]}"; do
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  if [ -n "$E2E_XVFB_PID" ] && kill -0 "$E2E_XVFB_PID" 2>/dev/null; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
  fi
  if [ "$status" -ne 0 ] || [ "$E2E_KEEP" -ne 0 ]; then
    _e2e_log "work directory kept: $E2E_DIR"
  else
    cd /
    rm -rf "$E2E_DIR"
  fi
  exit "$status"
}

# e2e_fail MESSAGE: ends the test as failed, after a screenshot and the programs' output.
e2e_fail() {
  _e2e_log "FAILED: $*"
  if [ -n "${DISPLAY:-}" ] && [ -n "$E2E_XVFB_PID" ]; then
    e2e_screenshot failure.png 2>/dev/null && _e2e_log "screenshot: $E2E_DIR/failure.png" || true
    xwininfo -root -tree >"$E2E_DIR/windows.txt" 2>&1 || true
  fi
  local file
  for file in "$E2E_DIR"/*.out "$E2E_DIR"/*.err; do
    [ -s "$file" ] || continue
    _e2e_log "--- $(basename "$file")"
    tail -n 30 "$file" >&2
  done
  exit 1
}

# e2e_start_xvfb [WxHxD]: starts Xvfb on a free display (it picks the number and reports it
# through -displayfd), with an authorisation cookie of its own.
e2e_start_xvfb() {
  local screen=${1:-1024x768x24}
  local cookie
  cookie=$(mcookie)
  xauth -q -f "$E2E_DIR/server.auth" add :0 . "$cookie" 2>/dev/null
  : >"$E2E_DIR/display"
  # -noreset: by default the server resets when its last client leaves, and a program that
  # connects during the reset is turned away (it would then find "no hardware").
  Xvfb -displayfd 3 -auth "$E2E_DIR/server.auth" -screen 0 "$screen" -nolisten tcp -noreset \
    3>"$E2E_DIR/display" >"$E2E_DIR/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  local deadline
  deadline=$(_e2e_deadline 30)
  until grep -q '^[0-9][0-9]*$' "$E2E_DIR/display" 2>/dev/null; do
    e2e_running "$E2E_XVFB_PID" || e2e_fail "Xvfb did not start: $(cat "$E2E_DIR/xvfb.log")"
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "Xvfb reported no display number"
    sleep 0.05
  done
  export DISPLAY=":$(head -n 1 "$E2E_DIR/display")"
  export XAUTHORITY="$E2E_DIR/client.auth"
  xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie" 2>/dev/null
  xwininfo -root >/dev/null || e2e_fail "cannot reach the X server on $DISPLAY"
}

# e2e_start NAME COMMAND...: runs COMMAND in the background with its output in NAME.out and
# NAME.err; its process id is $E2E_PID and it is ended at cleanup if still running.
e2e_start() {
  local name=$1
  shift
  "$@" </dev/null >"$E2E_DIR/$name.out" 2>"$E2E_DIR/$name.err" &
  E2E_PID=$!
  E2E_PIDS+=("$E2E_PID")
}

# e2e_find_windows NAME: the ids of the windows named exactly NAME, one a line (maybe none).
e2e_find_windows() {
  local name=$1
  xwininfo -root -tree 2>/dev/null |
    awk -v wanted="\"$name\":" 'index($0, wanted) { print $1 }'
}

e2e_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# e2e_wait_window NAME [TIMEOUT] [PID]: prints the id of a viewable window named exactly NAME.
# Fails the test on timeout, or at once when PID (the program that should show it) ended.
e2e_wait_window() {
  local name=$1 timeout=${2:-60} pid=${3:-}
  local deadline id
  deadline=$(_e2e_deadline "$timeout")
  while :; do
    for id in $(e2e_find_windows "$name"); do
      if e2e_viewable "$id"; then
        echo "$id"
        return 0
      fi
    done
    if [ -n "$pid" ] && ! e2e_running "$pid"; then
      e2e_fail "the program ended before a window \"$name\" was shown"
    fi
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "no viewable window \"$name\" within ${timeout}s"
    sleep 0.05
  done
}

# e2e_window_geometry ID: the window's size and place on the screen, "WxH+X+Y".
e2e_window_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print w "x" h "+" x "+" y }'
}

# e2e_no_window NAME: fails the test if a viewable window named NAME is on the screen now.
e2e_no_window() {
  local id
  for id in $(e2e_find_windows "$1"); do
    e2e_viewable "$id" && e2e_fail "a window \"$1\" is on the screen"
  done
  return 0
}

# e2e_focus WINDOW: gives the window the keyboard (no window manager runs, so we set it).
# WINDOW is an id (0x...) or a window name; a name is looked up again until a window of that
# name takes the focus, since a program may replace its window by a new one of the same name
# (SDL does when its renderer needs another kind of window).
e2e_focus() {
  local target=$1
  if [[ "$target" == 0x* ]]; then
    timeout $((10 * E2E_TIMEOUT_FACTOR)) xdotool windowfocus --sync "$target" 2>/dev/null ||
      e2e_fail "cannot focus window $target"
    return 0
  fi
  local deadline id
  deadline=$(_e2e_deadline 60)
  while :; do
    id=$(e2e_wait_window "$target" 60)
    timeout $((10 * E2E_TIMEOUT_FACTOR)) xdotool windowfocus --sync "$id" 2>/dev/null && return 0
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "cannot focus a window \"$target\""
    sleep 0.05
  done
}

# e2e_keys WINDOW KEY...: focuses the window (an id or a name, as e2e_focus takes), then presses
# each key as a real key press.
# (xdotool key --window sends synthetic events, which SDL windows ignore.)
e2e_keys() {
  local id=$1
  shift
  e2e_focus "$id"
  local key
  for key in "$@"; do
    xdotool key "$key"
  done
}

# e2e_dismiss ID [KEY] [TIMEOUT]: presses KEY (Return) in the window until the window is gone.
# A press can be lost while a freshly mapped window settles, so it is repeated once a second.
e2e_dismiss() {
  local id=$1 key=${2:-Return} timeout=${3:-60}
  local deadline next=0
  deadline=$(_e2e_deadline "$timeout")
  while e2e_viewable "$id"; do
    if [ "$SECONDS" -ge "$next" ]; then
      timeout $((5 * E2E_TIMEOUT_FACTOR)) xdotool windowfocus --sync "$id" 2>/dev/null &&
        xdotool key "$key" 2>/dev/null || true
      next=$((SECONDS + 1))
    fi
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "window $id still there after ${timeout}s of $key"
    sleep 0.05
  done
}

# e2e_wait_exit PID [TIMEOUT]: waits for the program to end; its exit code goes to $E2E_STATUS.
e2e_wait_exit() {
  local pid=$1 timeout=${2:-60}
  local deadline
  deadline=$(_e2e_deadline "$timeout")
  while e2e_running "$pid"; do
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "process $pid still running after ${timeout}s"
    sleep 0.05
  done
  E2E_STATUS=0
  wait "$pid" || E2E_STATUS=$?
}

# e2e_wait_file PATH [SIZE] [TIMEOUT]: waits until the file exists (with exactly SIZE bytes).
e2e_wait_file() {
  local path=$1 size=${2:-} timeout=${3:-60}
  local deadline
  deadline=$(_e2e_deadline "$timeout")
  while :; do
    if [ -f "$path" ] && { [ -z "$size" ] || [ "$(stat -c %s "$path")" -eq "$size" ]; }; then
      return 0
    fi
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "no file $path${size:+ of $size bytes} in ${timeout}s"
    sleep 0.05
  done
}

# e2e_screenshot FILE.png [ID]: the whole screen, or one window.
e2e_screenshot() {
  import -window "${2:-root}" "$1"
}

# e2e_expect ACTUAL EXPECTED WHAT: fails the test unless the two are equal.
e2e_expect() {
  [ "$1" = "$2" ] || e2e_fail "$3: expected '$2', got '$1'"
}

# e2e_expect_file_contains FILE TEXT WHAT: fails unless FILE holds TEXT (a fixed string).
e2e_expect_file_contains() {
  grep -qF -- "$2" "$1" || e2e_fail "$3: '$2' not in $(basename "$1")"
}

# e2e_pixel IMAGE X Y: the pixel's red, green and blue as numbers 0 to 255 ("255 0 0").
e2e_pixel() {
  local at="p{$2,$3}"
  convert "$1" -format "%[fx:round(255*$at.r)] %[fx:round(255*$at.g)] %[fx:round(255*$at.b)]" info:
}

# e2e_screen_pixel X Y: the pixel now on the screen, as e2e_pixel gives it.
e2e_screen_pixel() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- |
    sed -n '2s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p'
}

# e2e_wait_screen_pixel X Y PATTERN [TIMEOUT] [PID]: waits until the screen's pixel at (X, Y),
# written "R G B", matches the extended regular expression PATTERN. A program that shows what
# it should has finished setting up its window: a safe moment to press keys.
e2e_wait_screen_pixel() {
  local x=$1 y=$2 pattern=$3 timeout=${4:-60} pid=${5:-}
  local deadline pixel
  deadline=$(_e2e_deadline "$timeout")
  while :; do
    pixel=$(e2e_screen_pixel "$x" "$y")
    [[ "$pixel" =~ $pattern ]] && return 0
    if [ -n "$pid" ] && ! e2e_running "$pid"; then
      e2e_fail "the program ended before ($x, $y) showed $pattern"
    fi
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "($x, $y) shows '$pixel', not $pattern, after ${timeout}s"
  done
}

