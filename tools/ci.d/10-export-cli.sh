#!/usr/bin/env bash
# The exporter as a user runs it: every real project gets its report, the
# project files stay untouched, failures print the window's message and exit 1
# without leaving a partial report, and the Windows build under Wine writes the
# same reports as the native one. Then what needs a real system (as root in
# CI): devices, pipes, links, signals, full and read-only file systems, limits
# on file size and memory, a lock the system cannot give, Linux file names.
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

# A file that is not a REAPER project (here a text file named .rpp) fails
# alone, named by its path; the batch goes on.
printf 'These are notes.\n<REAPER_PROJECT 0.1\n' > "$work/notes.rpp"
rm -f "$work/basic.html"
set +e
"$native" --output-dir "$work" "$work/notes.rpp" "$sample" > /dev/null 2> "$work/err.txt"; status=$?
set -e
[ "$status" -eq 1 ] && grep -qx "quorvel-export: $work/notes.rpp: not a REAPER project" "$work/err.txt" \
  && [ ! -e "$work/notes.html" ] && [ -f "$work/basic.html" ] || fail "not a project: exit $status, $(cat "$work/err.txt")"
echo "ok: a file that is not a project is refused by name"

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
  grep -q "basic.rpp: may not create " "$work/err.txt" || fail "read-only folder: $(cat "$work/err.txt")"
  echo "ok: read-only folder reported"

  dd if=/dev/zero of="$work/full/filler" bs=1k count=14 2>/dev/null || true
  set +e
  "$native" --output-dir "$work/full" "$sample" 2> "$work/err.txt"; status=$?
  set -e
  [ "$status" -eq 1 ] || fail "full disk: exit $status"
  grep -q "basic.rpp: Couldn't write " "$work/err.txt" || fail "full disk: $(cat "$work/err.txt")"
  [ ! -e "$work/full/basic.html" ] || fail "full disk: a partial report was left behind"
  echo "ok: full disk reported, no partial report left"

  # A full disk keeps the previous good report, and the file behind a link to it.
  rm -f "$work/full/filler"
  "$native" -o "$work/full/good.html" "$sample" > /dev/null
  ln -s good.html "$work/full/link.html"
  cp "$work/full/good.html" "$work/good.copy"
  dd if=/dev/zero of="$work/full/filler" bs=1k count=12 2>/dev/null || true
  big="$work/big.rpp"
  { echo '<REAPER_PROJECT 0.1 "7.0/x64"'; for i in $(seq 200); do echo "<TRACK"; echo "NAME track$i"; done; } > "$big"
  for target in good.html link.html; do
    set +e
    "$native" -o "$work/full/$target" "$big" > /dev/null 2> "$work/err.txt"; status=$?
    set -e
    [ "$status" -eq 1 ] || fail "full disk over $target: exit $status"
    cmp -s "$work/full/good.html" "$work/good.copy" || fail "full disk over $target: the previous report was damaged"
  done
  [ -L "$work/full/link.html" ] || fail "full disk: the link was replaced"
  [ -z "$(ls -A "$work/full" | grep -v -e '^filler$' -e '^good.html$' -e '^link.html$')" ] \
    || fail "full disk: files left behind: $(ls -A "$work/full")"
  echo "ok: a full disk keeps the previous report and the file behind a link"
else
  echo "SKIP: cannot mount small file systems here (read-only folder and full disk not checked)"
fi

# --- Never a report onto a project -------------------------------------------
same="$work/same"
mkdir -p "$same/sub"
cp "$sample" "$same/p.rpp"
ln "$same/p.rpp" "$same/hard.rpp"
ln -s p.rpp "$same/soft.rpp"
sum=$(sha256sum < "$same/p.rpp")
expect_refused() {  # what, arguments...
  local what=$1; shift
  set +e
  (cd "$same" && "$OLDPWD/$native" "$@" > "$work/out.txt" 2> "$work/err.txt"); status=$?
  set -e
  [ "$status" -eq 1 ] || fail "$what: exit $status"
  grep -q ".rpp: may not create .* (it is a project file)" "$work/err.txt" || fail "$what: $(cat "$work/err.txt")"
  [ "$(sha256sum < "$same/p.rpp")" = "$sum" ] || fail "$what: the project was changed"
}
expect_refused "-o the project" -o p.rpp p.rpp
expect_refused "-o ./the project" -o ./p.rpp p.rpp
expect_refused "-o sub/../the project" -o sub/../p.rpp p.rpp
expect_refused "-o a hard link" -o hard.rpp p.rpp
expect_refused "-o a symbolic link" -o soft.rpp p.rpp
ln -s p.rpp "$same/p.html"
expect_refused "--beside onto a link to the project" --beside p.rpp
rm "$same/p.html"
set +e
(cd "$same" && "$OLDPWD/$native" -o /dev/stdout p.rpp >> p.rpp 2> "$work/err.txt"); status=$?
set -e
[ "$status" -eq 1 ] && [ "$(sha256sum < "$same/p.rpp")" = "$sum" ] || fail "-o /dev/stdout >> project: exit $status"
echo "ok: no report onto a project (same path, ./, .., hard and soft links, --beside, standard output)"

# Two projects of one name in one batch.
mkdir -p "$work/a" "$work/b" "$work/o"
cp "$sample" "$work/a/x.rpp"
sed 's/basic/other/' "$sample" > "$work/b/x.rpp"
set +e
"$native" --output-dir "$work/o" "$work/a/x.rpp" "$work/b/x.rpp" > "$work/out.txt" 2> "$work/err.txt"; status=$?
set -e
[ "$status" -eq 1 ] || fail "name collision: exit $status"
grep -qF "$work/b/x.rpp: may not create $work/o/x.html (already written for $work/a/x.rpp)" "$work/err.txt" \
  || fail "name collision: $(cat "$work/err.txt")"
"$native" -o - "$work/a/x.rpp" | cmp -s - "$work/o/x.html" || fail "name collision: the first report was replaced"
echo "ok: two projects of one name: the second is refused"

# --- Devices, standard output, pipes --------------------------------------------
"$native" -o /dev/null "$sample" > /dev/null || fail "-o /dev/null failed"
set +e
"$native" -o /dev/full "$sample" > /dev/null 2> "$work/err.txt"; status=$?
set -e
[ "$status" -eq 1 ] || fail "-o /dev/full: exit $status"
grep -q "basic.rpp: Couldn't write /dev/full (No space left on device)" "$work/err.txt" || fail "-o /dev/full: $(cat "$work/err.txt")"
[ -c /dev/full ] && [ -c /dev/null ] || fail "a device node was removed"
echo "ok: devices are written in place and never removed"

"$native" -o - "$sample" > "$work/dash.html"
{ echo first; "$native" -o /dev/stdout "$sample"; } > "$work/stdout.html"
{ echo first; cat "$work/dash.html"; } | cmp -s - "$work/stdout.html" || fail "-o /dev/stdout into a file differs from -o -"
[ -L /dev/stdout ] || fail "/dev/stdout is no longer a link"
status=0; "$native" -o /dev/stdout "$sample" > /dev/full 2> "$work/err.txt" || status=$?
[ "$status" -eq 1 ] || fail "-o /dev/stdout into a full device: exit $status"
[ -L /dev/stdout ] && [ -c /dev/full ] || fail "-o /dev/stdout into a full device removed a file"
echo "ok: -o /dev/stdout is written like -o -, after what is already there, without its name"

"$native" --output-dir "$work/o" "$sample" > /dev/full 2> "$work/err.txt" && fail "a full standard output gave exit 0"
grep -q "could not be printed" "$work/err.txt" || fail "full standard output: $(cat "$work/err.txt")"
echo "ok: a list of reports that cannot be printed fails the run"

{ echo '<REAPER_PROJECT 0.1 "7.0/x64"'; for i in $(seq 3000); do echo "<TRACK"; echo "NAME t$i"; done; } > "$work/wide.rpp"
set +e
timeout 30 bash -c "'$native' -o /dev/stdout '$work/wide.rpp' | head -1" > "$work/head.txt" 2> "$work/err.txt"; status=$?
set -e
[ "$status" -ne 124 ] || fail "-o /dev/stdout | head -1 hangs"
[ "$(cat "$work/head.txt")" = "$(printf '<!doctype html>\r')" ] || fail "| head -1: $(od -c "$work/head.txt" | head -2)"
echo "ok: -o /dev/stdout | head -1 ends"

mkfifo "$work/pipe"
start=$(date +%s)
set +e
timeout 30 "$native" -o "$work/pipe" "$sample" 2> "$work/err.txt"; status=$?
set -e
[ "$status" -eq 1 ] || fail "a pipe without a reader: exit $status"
[ $(( $(date +%s) - start )) -le 10 ] || fail "a pipe without a reader took more than 10 seconds"
grep -q "basic.rpp: Couldn't write .*pipe\|basic.rpp: may not create .*pipe (no program is reading from the pipe)" "$work/err.txt" \
  || fail "a pipe without a reader: $(cat "$work/err.txt")"
cat "$work/pipe" > "$work/from-pipe.html" &
reader=$!
timeout 30 "$native" -o "$work/pipe" "$work/wide.rpp" > /dev/null || fail "a pipe with a reader failed"
wait "$reader"
"$native" -o - "$work/wide.rpp" | cmp -s - "$work/from-pipe.html" || fail "a pipe with a reader got a different report"
[ -p "$work/pipe" ] || fail "the pipe was replaced"
echo "ok: a pipe without a reader fails at once, one with a reader gets the whole report"

# --- Interrupted and limited writes --------------------------------------------
mkdir "$work/sig"
cp "$work/dash.html" "$work/sig/report.html"
python3 - "$work/huge.rpp" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    f.write('<REAPER_PROJECT 0.1 "7.0/x64"\n')
    f.write("<TRACK\nNAME t\n" * 400000)
PY
for signal in INT TERM; do
  # (a background job of a script starts with SIGINT ignored: give it back its default)
  env --default-signal=INT "$native" -o "$work/sig/report.html" "$work/huge.rpp" > /dev/null 2>&1 &
  pid=$!
  seen=no
  for _ in $(seq 4000); do
    if ls "$work/sig"/.quorvel-*.tmp > /dev/null 2>&1; then seen=yes; break; fi
    sleep 0.005
  done
  kill -s "$signal" "$pid" 2>/dev/null || true
  set +e
  wait "$pid"; status=$?
  set -e
  [ "$seen" = yes ] || fail "SIG$signal: the report was never seen being written"
  [ "$status" -eq $((128 + $(kill -l "$signal"))) ] || fail "SIG$signal: exit $status, not ended by the signal"
  [ -z "$(ls -A "$work/sig" | grep -v '^report.html$')" ] || fail "SIG$signal left $(ls -A "$work/sig")"
  cmp -s "$work/sig/report.html" "$work/dash.html" || fail "SIG$signal changed the previous report"
done
set +e
(ulimit -f 200; "$native" -o "$work/sig/report.html" "$work/huge.rpp" > /dev/null 2> "$work/err.txt"); status=$?
set -e
[ "$status" -eq 1 ] || fail "a file size limit: exit $status"
grep -q "Couldn't write .* (File too large)" "$work/err.txt" || fail "file size limit: $(cat "$work/err.txt")"
cmp -s "$work/sig/report.html" "$work/dash.html" || fail "a file size limit damaged the previous report"
[ -z "$(ls -A "$work/sig" | grep -v '^report.html$')" ] || fail "a file size limit left $(ls -A "$work/sig")"
echo "ok: SIGINT, SIGTERM and a file size limit leave the previous report and no temporary file"

# Memory: a project that does not fit is a failure of that project only.
truncate -s 1T "$work/tera.rpp"
truncate -s 600M "$work/nul.rpp"
set +e
(ulimit -v 1500000; timeout 120 "$native" --output-dir "$work/o" "$work/tera.rpp" "$work/nul.rpp" "$sample" \
  > "$work/out.txt" 2> "$work/err.txt"); status=$?
set -e
[ "$status" -eq 1 ] || fail "projects too big for the memory: exit $status ($(cat "$work/err.txt"))"
[ "$(grep -c "Couldn't open the file! (not enough memory)" "$work/err.txt")" -eq 2 ] || fail "memory: $(cat "$work/err.txt")"
grep -q "basic.html" "$work/out.txt" || fail "memory: the batch did not go on"
rm -f "$work/tera.rpp" "$work/nul.rpp"
echo "ok: a 1 TB sparse project and 600 MB of NULs under a memory limit fail alone, the batch goes on"

# --- Locks, Linux names, folders ---------------------------------------------------
cat > "$work/nolock.c" <<'C'
#include <errno.h>
int flock(int fd, int operation) { (void)fd; (void)operation; errno = ENOLCK; return -1; }
C
if cc -shared -fPIC -o "$work/nolock.so" "$work/nolock.c" 2>/dev/null || g++ -x c -shared -fPIC -o "$work/nolock.so" "$work/nolock.c"; then
  LD_PRELOAD="$work/nolock.so" "$native" -o "$work/o/nolock.html" "$sample" > /dev/null || fail "ENOLCK made the project unopenable"
  echo "ok: a lock the system cannot give (ENOLCK) does not stop the export"
fi
flock -x "$sample" sleep 3 &
holder=$!
sleep 0.3
set +e
"$native" --output-dir "$work/o" "$sample" > /dev/null 2> "$work/err.txt"; status=$?
set -e
wait "$holder"
[ "$status" -eq 1 ] && grep -q "Couldn't open the file! (another program is using the file)" "$work/err.txt" \
  || fail "a project another program holds: exit $status, $(cat "$work/err.txt")"
echo "ok: a project another program holds says so"

names="$work/names"
mkdir -p "$names/m/a|b"
cp "$sample" "$names/m/a|b/gig.rpp"
cp "$sample" "$names/m/the \"best\" mix.rpp"
cp "$sample" "$names/m/a\\b.rpp"
cp "$sample" "$names/m/$(printf 'caf\xe9').rpp"
"$native" --beside "$names/m/a|b/gig.rpp" "$names/m/the \"best\" mix.rpp" "$names/m/a\\b.rpp" \
  "$names/m/$(printf 'caf\xe9').rpp" > /dev/null || fail "Linux names: export failed"
for report in "m/a|b/gig.html" "m/the \"best\" mix.html" "m/a\\b.html" "m/$(printf 'caf\xe9').html"; do
  [ -f "$names/$report" ] || fail "Linux names: $report is missing ($(ls "$names/m"))"
done
[ ! -e "$names/m/gig.html" ] && [ ! -e "$names/m/.html" ] && [ ! -e "$names/m/b.html" ] || fail "Linux names: a report under a wrong name"
set +e
"$native" -o "$work/o/dir/" "$sample" 2> "$work/err.txt"; status=$?
set -e
[ "$status" -eq 1 ] && [ ! -e "$work/o/dir" ] && grep -q "basic.rpp: may not create .*/o/dir/ (not a folder)" "$work/err.txt" \
  || fail "-o dir/: exit $status, $(cat "$work/err.txt")"
mkdir "$work/gone" && cd "$work/gone" && rmdir "$work/gone"
set +e
"$OLDPWD/$native" -o out.html "$sample" 2> "$work/err.txt"; status=$?
set -e
cd "$OLDPWD"
[ "$status" -eq 1 ] && [ ! -e /out.html ] || fail "a removed current folder: exit $status"
echo "ok: Linux names (|, quotes, backslash, not UTF-8), -o dir/, a removed current folder"

# A pipe and a kernel file that waits (/proc/kmsg, readable by root only) are
# no projects: refused at once, never read.
mkfifo "$work/fifo.rpp"
kernel=()
[ -r /proc/kmsg ] && kernel=(/proc/kmsg)
for path in "$work/fifo.rpp" "${kernel[@]}"; do
  set +e
  timeout 20 "$native" -o /dev/null "$path" 2> "$work/err.txt"; status=$?
  set -e
  [ "$status" -eq 1 ] && grep -q "Couldn't open the file! (not a regular file)" "$work/err.txt" \
    || fail "$path: exit $status, $(cat "$work/err.txt")"
done
echo "ok: a pipe${kernel:+ and /proc/kmsg} given as the project: not a regular file"

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
