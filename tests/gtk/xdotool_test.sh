#!/usr/bin/env bash
# Drives the real window program with real X events (run inside Xvfb), as a
# person would: clicks at the controls' places (from the control table, laid
# out by quorvel_layout_probe as the program lays it out), the menus through
# Alt+F / Alt+H and their mnemonics, Ctrl+O and Ctrl+Q, the open dialog by
# type-ahead and through its location entry, a project named on the command
# line, and an export that no program can open. Reports go to a recording
# "browser" set up through the XDG MIME defaults, which xdg-open follows.
# First, the program started without a display must say so on standard error
# and exit with status 1.
#
# Projects are dropped on the window with a real drag from a second program
# (quorvel_drag_source), as from a file manager.
#
# Usage: xdotool_test.sh path/to/quorvel path/to/quorvel_layout_probe tests/data path/to/quorvel_drag_source \
#          path/to/control_ids.sh
#        xdotool_test.sh --command-line-only path/to/quorvel tests/data
#        xdotool_test.sh --loaded-start-only path/to/quorvel tests/data
#   (control_ids.sh names the controls' ids, as the build makes it from
#   app/controls.h; the second form runs only the command-line part, for an
#   installed program; the third only its first case, a project loaded at
#   start-up)
set -euo pipefail
only_command_line=
only_loaded_start=
if [ "$1" = "--command-line-only" ] || [ "$1" = "--loaded-start-only" ]; then
  only_command_line=1
  [ "$1" = "--loaded-start-only" ] && only_loaded_start=1
  shift
  program=$(readlink -f "$1")
  data=$(readlink -f "$2")
else
  program=$(readlink -f "$1")
  probe=$(readlink -f "$2")
  data=$(readlink -f "$3")
  drag_source=$(readlink -f "$4")
  # shellcheck source=/dev/null
  source "$5"
fi
work=$(mktemp -d)
pid=
source_pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "FAIL: $*" >&2
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
wait_file() {
  for _ in $(seq 100); do
    [ -e "$1" ] && return 0
    sleep 0.1
  done
  return 1
}
# Keys to the window with the focus, one at a time, as typed.
keys() {
  xdotool key --clearmodifiers --delay 120 "$@"
}
focus() {
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1" 2>/dev/null || true
  sleep 0.2
}
# Clicks control `id` of window `main` with real pointer motion and button events.
click_control() {
  local geometry X Y x y
  geometry=$(xdotool getwindowgeometry --shell "$1")
  X=$(sed -n 's/^X=//p' <<<"$geometry")
  Y=$(sed -n 's/^Y=//p' <<<"$geometry")
  x=control_$2_x
  y=control_$2_y
  xdotool mousemove --sync $((X + ${!x})) $((Y + ${!y})) click 1
}
start() {
  "$program" "$@" &
  pid=$!
  main=$(wait_window '^Quorvel$') || fail "the main window did not appear"
  sleep 0.5
  focus "$main"
}
# The program must end by itself, with status 0.
expect_end() {
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "$1 did not end the program"
  local status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" -eq 0 ] || fail "$1: exit status $status"
}
expect_message() {
  local box
  box=$(wait_window '^Information$') || fail "$1: no message box"
  focus "$box"
  keys Return
  wait_gone '^Information$' || fail "$1: Return did not close the message box"
}
expect_no_message() {
  sleep 1
  xdotool search --onlyvisible --name '^Information$' >/dev/null 2>&1 && fail "$1: a message box appeared"
  return 0
}
chooser_title='^Load Reaper project\.\.\.$'

# The report's recording "browser": the default program for HTML files.
mkdir -p "$work/xdg/data/applications" "$work/xdg/config"
cat >"$work/record-open" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >> '$work/opened.txt'
EOF
chmod +x "$work/record-open"
cat >"$work/xdg/data/applications/quorvel-test-recorder.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Recorder
Exec=$work/record-open %f
MimeType=text/html;
NoDisplay=true
EOF
printf '[Default Applications]\ntext/html=quorvel-test-recorder.desktop\n' >"$work/xdg/config/mimeapps.list"
export XDG_DATA_HOME="$work/xdg/data" XDG_CONFIG_HOME="$work/xdg/config"
unset BROWSER
opened_lines() { [ -e "$work/opened.txt" ] && wc -l <"$work/opened.txt" || echo 0; }

mkdir -p "$work/projects"
cp "$data/basic.rpp" "$work/24-linux-basic.rpp"
cp "$data/empty-master.rpp" "$work/07-empty-master.rpp"
cp "$data/basic.rpp" "$work/projects/Song.rpp"

# --- no display -----------------------------------------------------------------
if [ -z "$only_command_line" ]; then
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$program" 2>"$work/stderr" >"$work/stdout" || status=$?
  [ "$status" -eq 1 ] || fail "without a display: exit status $status, expected 1"
  [ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "without a display: stderr is not one line: $(cat "$work/stderr")"
  grep -q '^quorvel: cannot open display' "$work/stderr" || fail "without a display: stderr says $(cat "$work/stderr")"
  [ ! -s "$work/stdout" ] || fail "without a display: something on standard output"
  echo "no display: \"$(cat "$work/stderr")\", exit status 1"
  status=0
  env DISPLAY=:9999 timeout 20 "$program" 2>"$work/stderr" || status=$?
  [ "$status" -eq 1 ] && grep -qx 'quorvel: cannot open display :9999' "$work/stderr" ||
    fail "with an unreachable display: status $status, stderr $(cat "$work/stderr")"
  echo "unreachable display: \"$(cat "$work/stderr")\", exit status 1"
  rm -f "$work/stderr" "$work/stdout"
fi

# --- a project named on the command line ------------------------------------------
# Loaded at start-up as if chosen: Export (Tab from Load, then Space) writes
# its report into the working directory.
start "$work/projects/Song.rpp"
before=$(opened_lines)
keys Tab space
wait_file "$work/Song.html" || fail "the project given on the command line was not loaded: no report"
expect_no_message "export of the command line's project"
for _ in $(seq 50); do [ "$(opened_lines)" -gt "$before" ] && break; sleep 0.1; done
[ "$(tail -1 "$work/opened.txt" 2>/dev/null)" = "$work/Song.html" ] ||
  fail "the report was not handed to the HTML program: $(tail -1 "$work/opened.txt" 2>/dev/null)"
keys ctrl+q
expect_end "Ctrl+Q"
echo "command line: project loaded, report written and opened, Ctrl+Q ends with 0"
[ -n "$only_loaded_start" ] && exit 0

# A name that is not UTF-8 (Latin-1 "café.rpp", as an old archive may hold):
# its report gets the same bytes. (xdg-open without a desktop session cannot
# take such a name, which the program then says; a desktop's opener can.)
cp "$data/basic.rpp" "$work/projects/caf"$'\xe9'".rpp"
start "$work/projects/caf"$'\xe9'".rpp"
keys Tab space
wait_file "$work/caf"$'\xe9'".html" || fail "the project with a Latin-1 name was not loaded: no report"
sleep 2.5
if box=$(xdotool search --onlyvisible --name '^Information$' 2>/dev/null | head -1) && [ -n "$box" ]; then
  focus "$box"
  keys Return
  wait_gone '^Information$' || fail "Return did not close the message box"
fi
focus "$main"
keys ctrl+q
expect_end "Ctrl+Q"
echo "command line: a file name that is not UTF-8 loads and its report keeps its bytes"

start "$work/projects/absent.rpp"
expect_message "a missing project on the command line"
focus "$main"
keys ctrl+q
expect_end "Ctrl+Q after the message"
echo "command line: a missing project shows the Load's message"

# Nothing can open HTML: the report is written all the same, and the user is told.
(
  mkdir -p "$work/bare/data" "$work/bare/config"
  ln -s /usr/share/mime "$work/bare/data/mime"
  export XDG_DATA_HOME="$work/bare/data" XDG_CONFIG_HOME="$work/bare/config" XDG_DATA_DIRS="$work/bare/data"
  export BROWSER=quorvel-no-such-browser
  rm -f "$work/Song.html"
  start "$work/projects/Song.rpp"
  keys Tab space
  expect_message "an export that no program can open"
  [ -s "$work/Song.html" ] || fail "the report was not written when no program could open it"
  focus "$main"
  keys ctrl+q
  expect_end "Ctrl+Q"
) 2>"$work/no-program.log" || { cat "$work/no-program.log" >&2; exit 1; }
echo "no program for HTML: report written, message shown"
[ -n "$only_command_line" ] && { echo "PASS: command-line start driven with X events"; exit 0; }

# --- the window, clicked and typed ------------------------------------------------
eval "$("$probe")" || fail "the layout probe could not open its window"
start

# Menus from the keyboard: Alt+F, then the entry's letter; Alt+H likewise.
keys alt+f o
chooser=$(wait_window "$chooser_title") || fail "Alt+F, O did not open the requester"
focus "$chooser"
keys Escape
wait_gone "$chooser_title" || fail "Escape did not close the requester"
focus "$main"
keys alt+h a
about=$(wait_window '^About\.\.\.$') || fail "Alt+H, A did not show the About box"
focus "$about"
keys Return
wait_gone '^About\.\.\.$' || fail "Return did not close the About box"
focus "$main"
keys ctrl+o
chooser=$(wait_window "$chooser_title") || fail "Ctrl+O did not open the requester"
focus "$chooser"
keys Escape
wait_gone "$chooser_title" || fail "Escape did not close the requester opened by Ctrl+O"
echo "keys: Alt+F O, Alt+H A, Ctrl+O"

# Load by type-ahead: "24" finds 24-linux-basic.rpp among the projects; a
# moment for the search, then Enter opens it. Export writes its report here.
focus "$main"
click_control "$main" "$LoadButton"
chooser=$(wait_window "$chooser_title") || fail "Load did not open the requester"
focus "$chooser"
sleep 0.5
xdotool type --delay 150 24
sleep 1.5
keys Return
wait_gone "$chooser_title" || fail "Enter after typing 24 did not close the requester"
expect_no_message "type-ahead load"
focus "$main"
click_control "$main" "$ExportButton"
wait_file "$work/24-linux-basic.html" || fail "Export after the type-ahead load wrote no 24-linux-basic.html"
expect_no_message "export"
echo "requester: type-ahead \"24\" loaded 24-linux-basic.rpp, Export wrote its report"

# The location entry (Ctrl+L) takes the name of a file that does not exist:
# Load shows its message.
focus "$main"
click_control "$main" "$LoadButton"
chooser=$(wait_window "$chooser_title") || fail "Load did not open the requester"
focus "$chooser"
sleep 0.5
keys ctrl+l
xdotool type --delay 20 "$work/missing.rpp"
sleep 0.5
keys Return
wait_gone "$chooser_title" || fail "Enter in the location entry did not close the requester"
expect_message "a typed name of a missing file"
echo "requester: a missing name typed in the location entry shows the Load's message"

# "Reaper File Project folder", then Export: the report of the project
# loaded above lands beside it, that is here again (it is overwritten).
focus "$main"
click_control "$main" "$ProjectFolderOption"
rm -f "$work/24-linux-basic.html"
click_control "$main" "$ExportButton"
expect_message "Export after a failed Load (nothing to export)"
[ ! -e "$work/24-linux-basic.html" ] || fail "a report was written after the Load that failed"

# Quit from the keyboard: the focus is on Export since its click; Tab goes
# to Quit, Tab again into the first option, Shift+Tab back to Quit, and
# Space presses it.
focus "$main"
click_control "$main" "$ExportButton"
expect_message "Export once more"

# Files dragged from another program and dropped on the window: the first
# whose name ends in .rpp, in any case, loads as Load does; Export then
# writes its report beside it ("Reaper File Project folder" is selected). The pointer moves in steps, as a hand does, so that both
# programs see the drag go from one window into the other.
drag_files() {
  "$drag_source" "$@" &
  source_pid=$!
  local source
  source=$(wait_window '^Drag source$') || fail "the drag source did not appear"
  local geometry X Y W H
  geometry=$(xdotool getwindowgeometry --shell "$main")
  X=$(sed -n 's/^X=//p' <<<"$geometry"); Y=$(sed -n 's/^Y=//p' <<<"$geometry")
  W=$(sed -n 's/^WIDTH=//p' <<<"$geometry"); H=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
  geometry=$(xdotool getwindowgeometry --shell "$source")
  local sx sy
  sx=$(( $(sed -n 's/^X=//p' <<<"$geometry") + 80 )); sy=$(( $(sed -n 's/^Y=//p' <<<"$geometry") + 40 ))
  # Into the panel's empty lower part, away from every control.
  local tx=$((X + W * 3 / 4)) ty=$((Y + H * 9 / 10))
  xdotool mousemove --sync "$sx" "$sy" mousedown 1
  for step in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove --sync $((sx + (tx - sx) * step / 10)) $((sy + (ty - sy) * step / 10))
    sleep 0.1
  done
  sleep 0.3
  xdotool mouseup 1
  sleep 0.5
  kill "$source_pid" 2>/dev/null
  wait "$source_pid" 2>/dev/null || true
  source_pid=
}
cp "$data/empty-master.rpp" "$work/projects/Dropped.RPP"
printf '<REAPER_PROJECT\n' >"$work/projects/notes.txt"
drag_files "$work/projects/notes.txt"
expect_no_message "a drop without a project"
focus "$main"
click_control "$main" "$ExportButton"
expect_message "Export after a drop without a project (nothing to export)"
drag_files "$work/projects/notes.txt" "$work/projects/Dropped.RPP" "$work/24-linux-basic.rpp"
expect_no_message "a dropped project"
focus "$main"
click_control "$main" "$ExportButton"
wait_file "$work/projects/Dropped.html" || fail "Export after dropping Dropped.RPP wrote no Dropped.html beside it"
expect_no_message "export of the dropped project"
echo "drop: of a text file and two projects dragged from another program, the first project loads"

focus "$main"
keys Tab Tab shift+Tab space
expect_end "Tab, Tab, Shift+Tab and Space on Quit"
echo "PASS: window program driven with X events, exit status 0"
