#!/usr/bin/env bash
# The Linux window program as a desktop sees it: its desktop entry, AppStream
# metadata and file type are valid; `cmake --install` lays out a tree whose
# program opens a project given on the command line (driven with X events);
# and the README's picture of the window is retaken. The window's own tests
# (toolkit, window, layouts at several fonts and scales, X events) are ctest
# tests of the native preset, which tools/test-all has configured, built and run.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build --preset native --target quorvel quorvel-export
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "-- desktop entry and AppStream metadata"
out=$(desktop-file-validate desktop/quorvel.desktop 2>&1) || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "desktop-file-validate has remarks: $out"; exit 1; }
appstreamcli validate --no-net build/native/desktop/org.example.quorvel.metainfo.xml

echo "-- the .rpp file type, in either letter case"
mkdir -p "$work/mime/mime/packages"
cp desktop/quorvel-mime.xml "$work/mime/mime/packages/quorvel.xml"
cp -r /usr/share/mime/packages/freedesktop.org.xml "$work/mime/mime/packages/"
XDG_DATA_DIRS="$work/mime" update-mime-database "$work/mime/mime"
for name in song.rpp SONG.RPP Mixed.Rpp; do
  printf '<REAPER_PROJECT 0.1 "7.22/win64" 1752735900\n>\n' >"$work/$name"
  type=$(XDG_DATA_DIRS="$work/mime" XDG_DATA_HOME="$work/none" gio info -a standard::content-type "$work/$name" |
    sed -n 's/^ *standard::content-type: //p')
  [ "$type" = application/x-reaper-project ] || { echo "$name has the type \"$type\""; exit 1; }
done
echo "song.rpp, SONG.RPP, Mixed.Rpp: application/x-reaper-project"

echo "-- cmake --install"
cmake --install build/native --prefix "$work/q" >/dev/null
for file in bin/quorvel bin/quorvel-export share/applications/quorvel.desktop \
  share/icons/hicolor/scalable/apps/quorvel.svg share/mime/packages/quorvel.xml \
  share/metainfo/org.example.quorvel.metainfo.xml; do
  [ -e "$work/q/$file" ] || { echo "not installed: $file"; exit 1; }
done
desktop-file-validate "$work/q/share/applications/quorvel.desktop"
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96 -noreset" \
  env LANG=C.UTF-8 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory GDK_BACKEND=x11 \
  bash tests/gtk/xdotool_test.sh --command-line-only "$work/q/bin/quorvel" tests/data

echo "-- the window's picture"
# The picture is documentation: a failure to take it does not fail the tests.
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  env NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory \
  bash tests/gtk/window_screenshot.sh build/native/app/ui/quorvel docs/window-linux.png ||
  echo "the window picture was not taken"
