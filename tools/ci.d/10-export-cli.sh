#!/usr/bin/env bash
# The exporter as a user runs it: every real project gets its report, the
# project files stay untouched, failures print the window's message and exit 1
# without leaving a partial report, and the Windows build under Wine writes the
# same reports as the native one.
set -euo pipefail
cd "$(dirname "$0")/../.."
native=build/native/app/quorvel-export
windows=build/windows/app/quorvel-export.exe
# The projects: those of tests/data, and the real corpus (QUORVEL_CORPUS_DIR of
# the native build) when it is there.
projects=("$PWD"/tests/data/*.rpp)
corpus=$(sed -n 's/^QUORVEL_CORPUS_DIR:[A-Z]*=//p' build/native/CMakeCache.txt)
if [ -n "$corpus" ] && [ -d "$corpus" ]; then
  corpus=$(cd "$corpus" && pwd)
  projects+=("$corpus"/*.rpp)
else
  echo "SKIP: no corpus of real projects at ${corpus:-(not configured)}: only the projects of tests/data are exported"
fi
sample="$PWD/tests/data/basic.rpp"
work=$(mktemp -d)
cleanup() {
  umount "$work/full" 2>/dev/null || true
  umount "$work/ro" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Every project, in one run; the project files are unchanged.
before=$(sha256sum "${projects[@]}" && stat -c '%n %Y' "${projects[@]}")
mkdir "$work/all"
"$native" --output-dir "$work/all" "${projects[@]}" > "$work/out.txt"
count=${#projects[@]}
[ "$(ls "$work/all"/*.html | wc -l)" -eq "$count" ] || fail "not every project got its report"
[ "$(wc -l < "$work/out.txt")" -eq "$count" ] || fail "not every report path was printed"
after=$(sha256sum "${projects[@]}" && stat -c '%n %Y' "${projects[@]}")
[ "$before" = "$after" ] || fail "a project file changed"
echo "ok: $count reports written, project files unchanged"

# A missing project: message on standard error, exit 1, the others still written.
set +e
"$native" --output-dir "$work" "$work/missing.rpp" "$sample" > /dev/null 2> "$work/err.txt"
status=$?
set -e
[ "$status" -eq 1 ] || fail "missing project: exit $status"
grep -q "missing.rpp: Couldn't open the file!" "$work/err.txt" || fail "missing project: $(cat "$work/err.txt")"
[ -f "$work/basic.html" ] || fail "the next project was not exported"
echo "ok: missing project reported"

# Bad usage.
set +e
"$native" --no-such-option x.rpp 2> "$work/err.txt"; status=$?
set -e
[ "$status" -eq 2 ] && [ "$(wc -l < "$work/err.txt")" -eq 1 ] || fail "bad usage: exit $status"
echo "ok: bad usage exits 2"

# A folder that cannot be written, and a full disk (small file systems in memory).
mkdir "$work/ro" "$work/full"
if mount -t tmpfs -o size=64k,ro tmpfs "$work/ro" 2>/dev/null && mount -t tmpfs -o size=16k tmpfs "$work/full"; then
  set +e
  "$native" --output-dir "$work/ro" "$sample" 2> "$work/err.txt"; status=$?
  set -e
  [ "$status" -eq 1 ] || fail "read-only folder: exit $status"
  grep -q ": may not create the file!" "$work/err.txt" || fail "read-only folder: $(cat "$work/err.txt")"
  echo "ok: read-only folder reported"

  dd if=/dev/zero of="$work/full/filler" bs=1k count=14 2>/dev/null || true
  set +e
  "$native" --output-dir "$work/full" "$sample" 2> "$work/err.txt"; status=$?
  set -e
  [ "$status" -eq 1 ] || fail "full disk: exit $status"
  grep -q ": Couldn't write the file!" "$work/err.txt" || fail "full disk: $(cat "$work/err.txt")"
  [ ! -e "$work/full/basic.html" ] || fail "full disk: a partial report was left behind"
  echo "ok: full disk reported, no partial report left"
else
  echo "SKIP: cannot mount small file systems here (read-only folder and full disk not checked)"
fi

# The Windows build under Wine writes the same reports (the date and the
# folder's spelling aside).
if [ -f "$windows" ]; then
  mkdir "$work/wine"
  tools/wine-run "$windows" --output-dir "Z:$work/wine" "${projects[@]/#/Z:}" > /dev/null
  for report in "$work/all"/*.html; do
    name=$(basename "$report")
    diff <(grep -v -e '^.Project Date : ' -e '^.Project Path : ' "$report") \
         <(grep -v -e '^.Project Date : ' -e '^.Project Path : ' "$work/wine/$name") > /dev/null \
      || fail "Windows and native reports differ: $name"
  done
  echo "ok: Windows reports equal the native ones"
fi
