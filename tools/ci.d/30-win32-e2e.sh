#!/usr/bin/env bash
# End-to-end test of quorvel.exe: the Windows build runs under Wine in a
# virtual X display, driven by tests/win32/quorvel_e2e_driver.exe in a fresh
# Wine prefix. Also regenerates docs/window.png from the window the driver
# saw (a missing screenshot does not fail the test).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${QUORVEL_E2E_BUILD_DIR:-build/windows}
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target quorvel_e2e_driver

prefix=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-e2e-prefix.XXXXXX")
shot_bmp="$build/tests/win32/window.bmp"
rm -f "$shot_bmp"
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export QUORVEL_WINEPREFIX="$prefix"

# In the prefix: the window's own title bar (no window manager runs in
# Xvfb) and no crash debugger (a crash ends the program, it does not wait).
# The whole run at 96 DPI, then the layout at 144 DPI. Wine's processes end
# before the display does.
set +e
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  reg() { tools/wine-run reg "$@" >/dev/null 2>&1; }
  reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f
  reg delete "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug" /v Debugger /f
  echo "-- quorvel.exe at 96 DPI"
  timeout 180 tools/wine-run "$1" "Z:${2//\//\\}"
  status=$?
  WINEPREFIX="$QUORVEL_WINEPREFIX" wineserver -k >/dev/null 2>&1
  reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d 144 /f
  reg add "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts" \
    /v LogPixels /t REG_DWORD /d 144 /f
  WINEPREFIX="$QUORVEL_WINEPREFIX" wineserver -k >/dev/null 2>&1
  echo "-- quorvel.exe at 144 DPI, layout only"
  timeout 60 tools/wine-run "$1" --layout-only || status=1
  WINEPREFIX="$QUORVEL_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  exit $status
' _ "$build/tests/win32/quorvel_e2e_driver.exe" "$shot_bmp" 2>&1 | grep -v "FS volume label and serial are not available"
status=${PIPESTATUS[0]}
set -e

if [ -s "$shot_bmp" ]; then
  convert "$shot_bmp" -strip docs/window.png 2>/dev/null || echo "note: docs/window.png not refreshed"
else
  echo "note: no screenshot taken"
fi
exit "$status"
