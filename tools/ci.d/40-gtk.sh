#!/usr/bin/env bash
# The Linux window program's picture for the documentation. Its tests
# (toolkit, window, X events) are ctest tests that run under xvfb-run with
# the native preset; tools/test-all has configured and built that preset.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build --preset native --target quorvel
# The picture is documentation: a failure to take it does not fail the tests.
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  env NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory \
  bash tests/gtk/window_screenshot.sh build/native/app/ui/quorvel docs/window-linux.png ||
  echo "the window picture was not taken"
