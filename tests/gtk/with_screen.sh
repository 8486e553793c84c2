#!/usr/bin/env bash
# Runs a command on the current X display after setting the display up as a
# desktop would: the resolution DPI through the Xft.dpi resource and, with
# --primary-right, two monitors side by side on a 2560 x 1024 screen, the
# primary one on the right at (1280, 100) and 1280 x 900 in size (RandR
# monitors). The X server must run with -noreset, or what is set here
# vanishes when xrdb and xrandr leave.
# Usage: with_screen.sh DPI [--primary-right] command [arguments...]
set -euo pipefail
dpi=$1
shift
echo "Xft.dpi: $dpi" | xrdb -merge
if [ "${1:-}" = "--primary-right" ]; then
  shift
  xrandr --setmonitor left 1280/338x1024/270+0+0 none >/dev/null
  xrandr --setmonitor '*right' 1280/338x900/238+1280+100 screen >/dev/null
fi
exec "$@"
