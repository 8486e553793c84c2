#!/usr/bin/env bash
# Runs a command on the current X display after giving the display the
# resolution `DPI` through the Xft.dpi resource, as desktops do (the X
# server must run with -noreset, or the resource vanishes when xrdb leaves).
# Usage: with_screen.sh DPI command [arguments...]
set -euo pipefail
dpi=$1
shift
echo "Xft.dpi: $dpi" | xrdb -merge
exec "$@"
