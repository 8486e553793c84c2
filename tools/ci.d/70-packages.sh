#!/usr/bin/env bash
# Quorvel as a user installs it. tools/package packs the native and windows
# builds that tools/test-all made; then
# - the .deb: lintian finds no error and no warning that README's "Install"
#   does not list; apt-get installs it; from the system, the programs run, the
#   window starts with a project loaded, the manual pages and the completion
#   are found and .rpp files open with Quorvel; apt-get purge then leaves none
#   of its files behind;
# - the zip: the three programs, README.txt and LICENSE.txt; the programs
#   import only DLLs that every Windows has; unpacked into a fresh Wine prefix,
#   each one runs from there.
# Runs as root (CI does), since it installs the package on the machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD
version=$(sed -n 's/^project(quorvel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
step() { echo "-- $* (at ${SECONDS} s)"; }
if dpkg-query -W -f='${Status}' quorvel 2>/dev/null | grep -q installed; then
  echo "note: quorvel was installed before this run (left by an interrupted one?): purged first"
  apt-get purge -y -qq quorvel >/dev/null
fi

step "tools/package"
tools/package
deb=build/packages/quorvel_${version}_amd64.deb
zip=build/packages/quorvel-${version}-windows-x64.zip
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-packages.XXXXXX")
export QUORVEL_WINEPREFIX=$work/wine
cleanup() {
  if dpkg-query -W quorvel >/dev/null 2>&1; then apt-get purge -y -qq quorvel >/dev/null 2>&1 || true; fi
  if [ -d "$QUORVEL_WINEPREFIX" ]; then WINEPREFIX="$QUORVEL_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

step "lintian"
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
grep -E '^[EWI]: ' "$work/lintian.txt" || echo "(nothing)"
while read -r severity _ tag _; do
  case "$severity" in
    E:) fail "lintian error $tag" ;;
    W:) grep -q "\`$tag\`" README.md || fail "lintian warning $tag is not among those README keeps" ;;
  esac
done < <(grep -E '^[EW]: ' "$work/lintian.txt")
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q 'libgtk-3-0 (>=' || fail "the dependencies were not found by dpkg-shlibdeps"

step "apt-get install ./$(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
dpkg -L quorvel >"$work/files.txt"
for program in quorvel-export quorvel-inventory; do
  got=$("$program" --version)
  [ "$got" = "$program $version" ] || fail "$program --version says '$got'"
done
grep -q "<release version=\"$version\"" /usr/share/metainfo/*quorvel* || fail "AppStream names another release"
mkdir "$work/out"
got=$(cd "$work/out" && quorvel-export "$repo/examples/demo-song.rpp")
[ "$got" = "$work/out/demo-song.html" ] || fail "quorvel-export printed '$got'"
build/native/app/quorvel-export -o - examples/demo-song.rpp | cmp -s - "$work/out/demo-song.html" ||
  fail "the installed quorvel-export writes another report than the build's"
for page in quorvel quorvel-export quorvel-inventory; do
  [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page does not find the page"
done
echo "quorvel-export --version, a report, the AppStream release, man -w of the three pages"

# Tab after "quorvel-inventory --fo" and after "--csv-table ", as
# bash-completion loads the script.
offered() {
  bash --norc -c '
    source /usr/share/bash-completion/bash_completion
    _completion_loader quorvel-inventory
    complete -p quorvel-inventory >/dev/null || exit 1
    read -r _ _ function _ < <(complete -p quorvel-inventory)
    COMP_WORDS=(quorvel-inventory "$@") COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}" COMP_POINT=${#COMP_LINE}
    "$function" quorvel-inventory "${@: -1}" "${COMP_WORDS[COMP_CWORD - 1]}"
    echo "offered: ${COMPREPLY[*]}"' _ "$@" || true
}
completion=$(offered --fo)
echo "$completion"
grep -qx 'offered: --format' <<<"$completion" || fail "quorvel-inventory --fo<Tab> does not give --format"
completion=$(offered --csv-table '')
echo "$completion"
grep -qx 'offered: instances projects media' <<<"$completion" || fail "quorvel-inventory --csv-table <Tab> does not give the tables"

home=$work/home
mkdir -p "$home"
printf '<REAPER_PROJECT 0.1 "7.22/win64" 1752735900\n>\n' >"$work/song.rpp"
mime=$(env HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_DATA_DIRS=/usr/share \
  gio mime application/x-reaper-project 2>&1) || true
echo "$mime"
grep -q 'Default application for .*: quorvel.desktop' <<<"$mime" || fail "gio mime does not name quorvel.desktop"
type=$(env HOME="$home" XDG_DATA_DIRS=/usr/share gio info -a standard::content-type "$work/song.rpp" |
  sed -n 's/^ *standard::content-type: //p')
[ "$type" = application/x-reaper-project ] || fail "song.rpp has the type '$type'"

step "xvfb-run quorvel song.rpp"
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96 -noreset" \
  env LANG=C.UTF-8 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory GDK_BACKEND=x11 \
  bash tests/gtk/xdotool_test.sh --loaded-start-only /usr/bin/quorvel tests/data || fail "the installed window"

step "apt-get purge quorvel"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quorvel >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
# A file, or a folder left empty, is left behind; the MIME and desktop caches forget Quorvel.
while read -r path; do
  [ -e "$path" ] && { [ ! -d "$path" ] || [ -z "$(ls -A "$path")" ]; } && fail "left behind: $path"
done <"$work/files.txt"
[ ! -e /usr/share/mime/application/x-reaper-project.xml ] || fail "the .rpp type is still in the MIME database"
! grep -qs quorvel /usr/share/applications/mimeinfo.cache || fail "quorvel.desktop is still in mimeinfo.cache"
echo "$(wc -l <"$work/files.txt") paths of the package checked"

step "the Windows zip"
top=quorvel-${version}-windows-x64
listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort | paste -sd' ')
expected="$top/LICENSE.txt $top/README.txt $top/quorvel-export.exe $top/quorvel-inventory.exe $top/quorvel.exe"
[ "$listed" = "$expected" ] || fail "the zip holds $listed"
unzip -q "$zip" -d "$work/zip"
folder=$work/zip/$top
# DLLs that every Windows since 7 has; nothing of a compiler's runtime.
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll "
for exe in "$folder"/*.exe; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | paste -sd' ')
  echo "$(basename "$exe") imports: $dlls"
  for dll in $dlls; do
    [[ $system_dlls == *" $dll "* ]] || fail "$(basename "$exe") imports $dll"
  done
done

step "the zip's programs in a fresh Wine prefix"
windows_folder="Z:${folder//\//\\}"
for program in quorvel-export quorvel-inventory; do
  got=$(tools/wine-run "$folder/$program.exe" --version | tr -d '\r')
  [ "$got" = "$program $version" ] || fail "$program.exe --version says '$got'"
done
mkdir "$work/wine-out"
tools/wine-run "$folder/quorvel-export.exe" --output-dir "Z:${work//\//\\}\\wine-out" \
  "Z:${repo//\//\\}\\examples\\demo-song.rpp" >/dev/null
[ -s "$work/wine-out/demo-song.html" ] || fail "quorvel-export.exe wrote no report"
echo "quorvel-export.exe and quorvel-inventory.exe: --version; quorvel-export.exe wrote a report"
# The prefix's Wine server and desktop were started above without a display and
# would outlive those programs by a few seconds: a window opened through them
# never reaches the X server below. End them first.
WINEPREFIX="$QUORVEL_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
WINEPREFIX="$QUORVEL_WINEPREFIX" wineserver -w >/dev/null 2>&1 || true
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  tools/wine-run reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f >/dev/null 2>&1
  tools/wine-run reg delete "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug" /v Debugger /f >/dev/null 2>&1
  QUORVEL_E2E_PROGRAM="$1\\quorvel.exe" timeout 120 tools/wine-run build/windows/tests/win32/quorvel_e2e_driver.exe --layout-only
  status=$?
  WINEPREFIX="$QUORVEL_WINEPREFIX" wineserver -k >/dev/null 2>&1
  exit $status' _ "$windows_folder" || fail "the zip's quorvel.exe"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "PASS: the .deb and the zip, installed and run, in ${SECONDS} s"
