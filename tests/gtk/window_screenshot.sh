#!/usr/bin/env bash
# Saves a picture of the window program's main window (run inside Xvfb):
# the whole screen with `import -window root`, cut to the window.
# Usage: window_screenshot.sh path/to/quorvel output.png
set -euo pipefail
program=$(readlink -f "$1")
mkdir -p "$(dirname "$2")"
output=$(readlink -f "$2")
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
"$program" &
pid=$!
id=
for _ in $(seq 100); do
  id=$(xdotool search --onlyvisible --name '^Quorvel$' 2>/dev/null | head -1 || true)
  [ -n "$id" ] && break
  sleep 0.1
done
[ -n "$id" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1  # let it draw
eval "$(xdotool getwindowgeometry --shell "$id")"
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "$output"
echo "saved $output (${WIDTH}x${HEIGHT})"
