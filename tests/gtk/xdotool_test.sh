#!/usr/bin/env bash
# Clicks the real window program with real X events (run inside Xvfb):
# Load, then Escape on the requester; Export, then Return on the
# "Information" box; Quit through the keyboard's focus order, and the
# program must end with exit code 0. First, the program started without a
# display must say so in one line on standard error and exit with status 1.
# Usage: xdotool_test.sh path/to/quorvel
set -euo pipefail
program=$(readlink -f "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "FAIL: $*" >&2
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  exit 1
}
# Waits up to 10 s for a visible window whose name matches; prints its id.
wait_window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
wait_gone() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
# Clicks at (x, y) inside the window: real pointer motion and button events.
click_in() {
  local geometry
  geometry=$(xdotool getwindowgeometry --shell "$1")
  local X Y
  X=$(sed -n 's/^X=//p' <<<"$geometry")
  Y=$(sed -n 's/^Y=//p' <<<"$geometry")
  xdotool mousemove --sync $((X + $2)) $((Y + $3)) click 1
}

# Without any display the program cannot open its window: it ends at once,
# says why on standard error, and writes nothing.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$program" 2>"$work/stderr" >"$work/stdout" || status=$?
[ "$status" -eq 1 ] || fail "without a display: exit status $status, expected 1"
[ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "without a display: stderr is not one line: $(cat "$work/stderr")"
grep -q '^quorvel: cannot open display' "$work/stderr" || fail "without a display: stderr says $(cat "$work/stderr")"
[ ! -s "$work/stdout" ] || fail "without a display: something on standard output"
status=0
env DISPLAY=:9999 timeout 20 "$program" 2>"$work/stderr" || status=$?
[ "$status" -eq 1 ] && grep -qx 'quorvel: cannot open display :9999' "$work/stderr" ||
  fail "with an unreachable display: status $status, stderr $(cat "$work/stderr")"
rm -f "$work/stderr" "$work/stdout"
echo "no display: $(env -u DISPLAY -u WAYLAND_DISPLAY "$program" 2>&1), exit status 1"

"$program" &
pid=$!
main=$(wait_window '^Quorvel$') || fail "the main window did not appear"
sleep 0.5

# The buttons stand at x 20..220 and, below the menu bar, y 20..80 (Load),
# 100..160 (Export) and 180..240 (Quit); the menu bar is under 50 pixels high.
click_in "$main" 120 75
chooser=$(wait_window '^Load Reaper project\.\.\.$') || fail "Load did not open the requester"
xdotool windowfocus --sync "$chooser" 2>/dev/null || true
xdotool key --clearmodifiers Escape
wait_gone '^Load Reaper project\.\.\.$' || fail "Escape did not close the requester"
echo "Load: requester opened and cancelled"

click_in "$main" 120 155
info=$(wait_window '^Information$') || fail "Export without a project showed no message"
echo "Export: message box \"$(xdotool getwindowname "$info")\""
xdotool windowfocus --sync "$info" 2>/dev/null || true
xdotool key --clearmodifiers Return
wait_gone '^Information$' || fail "Return did not close the message box"

# Quit from the keyboard: the focus is on Export since its click; Tab goes
# to Quit, Tab again into the first option, Shift+Tab back to Quit, and
# Space presses it.
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key --clearmodifiers --delay 150 Tab Tab shift+Tab space
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "Tab, Tab, Shift+Tab and Space did not reach and press Quit"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "exit code $status"
ls "$work"/*.html >/dev/null 2>&1 && fail "a report was written without a project"
echo "PASS: window program driven with X events, exit code 0"
