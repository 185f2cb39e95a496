# Shell functions that start the window on a private virtual X display and drive it with
# xdotool, for scripts/dialog-test and scripts/screenshot. Source it, set a trap that runs
# xd_stop on exit, then call xd_start. Every wait is bounded.

XD_TITLE="Vaskel EMLX to EML Converter"
xd_xvfb_pid="" xd_app_pid="" xd_main=""

# Says what went wrong and ends the script; with XD_FAILSHOT set, saves a picture of the
# whole screen there first.
xd_fail() {
  echo "${XD_NAME:-xdriver}: $*" >&2
  [ -n "${XD_FAILSHOT:-}" ] && [ -n "${DISPLAY:-}" ] && import -window root "$XD_FAILSHOT" 2>/dev/null
  exit 1
}

# xd_start PROGRAM: a new Xvfb on a display number it picks itself, then the program on it.
xd_start() {
  local program=$1 fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$fdfile" 2>/dev/null &
  xd_xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  local display
  display=$(head -n1 "$fdfile")
  rm -f "$fdfile"
  [ -n "$display" ] || xd_fail "Xvfb did not start"
  export DISPLAY=":$display"
  QT_QPA_PLATFORM=xcb "$program" &
  xd_app_pid=$!
  xd_main=$(xd_wait_window "^$XD_TITLE\$") || xd_fail "the window did not appear"
  sleep 0.5 # let it paint
}

# Ends the program (if it still runs) and the virtual display, whatever happened before.
xd_stop() {
  local pid
  for pid in "$xd_app_pid" "$xd_xvfb_pid"; do
    if [ -n "$pid" ]; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  xd_app_pid="" xd_xvfb_pid=""
}

# xd_windows NAME_REGEX: the shown windows of the program whose title matches, one id a line.
xd_windows() {
  xdotool search --all --onlyvisible --pid "$xd_app_pid" --name "$1" 2>/dev/null || true
}

# xd_shown WINDOW: whether the window is on the screen.
xd_shown() {
  xwininfo -id "$1" 2>/dev/null | grep -q IsViewable
}

# xd_wait_window NAME_REGEX: waits up to 10 s for a shown window of that title other than the
# main window; prints its id.
xd_wait_window() {
  local id
  for _ in $(seq 100); do
    id=$(xd_windows "$1" | grep -vx "${xd_main:-none}" | tail -n1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# xd_wait_closed WINDOW [TENTHS]: waits until the window has left the screen (default 60 s).
xd_wait_closed() {
  for _ in $(seq "${2:-600}"); do
    xd_shown "$1" || return 0
    sleep 0.1
  done
  return 1
}

# xd_click X Y: clicks the main window at X, Y pixels of its client area (the form's layout).
xd_click() {
  xdotool mousemove --window "$xd_main" "$1" "$2" click 1
}

# xd_answer WINDOW TEXT: types TEXT into the dialog's focused field and presses Enter until the
# dialog closes (a completion list may take the first Enter).
xd_answer() {
  local window=$1 text=$2
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool type --delay 5 "$text"
  for _ in 1 2 3; do
    sleep 0.3
    xdotool key Return
    xd_wait_closed "$window" 20 && return 0
  done
  return 1
}

# xd_grab FILE [WINDOW]: a picture of the main window, or of another window of the program.
xd_grab() {
  import -window "${2:-$xd_main}" "$1"
}

# xd_emlx PATH SUBJECT: a small message file as the mail client writes it.
xd_emlx() {
  local message
  message=$(printf 'Subject: %s\nFrom: Ann <ann@example.org>\nDate: Sat, 6 Aug 2011 10:00:00 +0000\n\nHello.' "$2")
  message+=$'\n'
  mkdir -p "$(dirname "$1")"
  printf '%-10d\n%s<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict></dict></plist>\n' \
    "${#message}" "$message" >"$1"
}

# Centres of the window's buttons in pixels, from the form's layout.
XD_ADD_FILES="76 76" XD_ADD_FOLDER="252 76" XD_CONVERT="260 422"
