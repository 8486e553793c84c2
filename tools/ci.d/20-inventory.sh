#!/usr/bin/env bash
# quorvel-inventory as a user runs it: the test archive and the real corpus
# with each real resource folder, every JSON output validated against
# docs/inventory.schema.json, the CSV read back with Python's csv module and
# compared with the JSON, the HTML opened in headless Chromium (it renders,
# its script runs without error, hostile names stay text, it reads at 1280,
# 1400 and 420 px and printed), --jobs 1 and 4
# byte-identical, links to folders not followed, an unreadable folder listed
# as an error, the inputs unchanged, nothing left behind by a failed or killed
# run, a broken pipe and a file size limit as failed writes, /proc/kmsg never
# read, a folder that can be listed but not searched (as an unprivileged user,
# through setpriv), and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
native=$root/build/native/app/quorvel-inventory
windows=$root/build/windows/app/quorvel-inventory.exe
python=/usr/bin/python3
schema=$root/docs/inventory.schema.json
# The real corpus (QUORVEL_CORPUS_DIR of the native build) and the resource
# folders beside it, when they are there.
real=$(sed -n 's/^QUORVEL_CORPUS_DIR:[A-Z]*=//p' build/native/CMakeCache.txt)
real=$(cd "${real:-/nonexistent}" 2>/dev/null && pwd || true)
resources=$(cd "${real:-/nonexistent}/../resources" 2>/dev/null && pwd || true)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One "generated" time for every run, so that runs can be compared byte for byte.
export SOURCE_DATE_EPOCH=1767225600
fail() { echo "FAIL: $*" >&2; exit 1; }

# Validates JSON files against the schema and checks what every output must hold.
validate() {
  "$python" - "$schema" "$@" <<'PY'
import json, sys, jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
for path in sys.argv[2:]:
    data = json.load(open(path, encoding="utf-8"))
    jsonschema.validate(data, schema, cls=jsonschema.Draft202012Validator)
    paths = [p["path"] for p in data["projects"]]
    assert paths == sorted(paths), path + ": projects not sorted by path"
    assert sum(len(p["plugins"]) for p in data["projects"]) == sum(a["instances"] for a in data["plugins"]), path
    assert data["generated"] == "2026-01-01T00:00:00Z", path
    for a in data["plugins"]:
        used = [u["path"] for u in a["used_by"]]
        assert used == sorted(used) and len(used) == a["projects"], (path, a["name"])
        assert sum(u["instances"] for u in a["used_by"]) == a["instances"], (path, a["name"])
    # Each status follows from the project's instances and media, by the rules.
    for p in data["projects"]:
        loaded = [i for i in p["plugins"] if i["state"] in ("online", "bypassed")]
        missing = lambda insts: {(i["format"], i["file"], i["id"], i["display"]) for i in insts if i["status"] == "missing"}
        if missing(loaded) or any(not m["exists"] for m in p["media"]): status = "incomplete"
        elif any(i["status"] == "unknown" for i in loaded): status = "unknown"
        elif missing(p["plugins"]): status = "plays"
        else: status = "complete"
        assert p["status"] == status, (path, p["path"], p["status"], status)
        assert all(m["found_by_name"] is None for m in p["media"] if m["exists"]), p["path"]
    counts = {s: sum(p["status"] == s for p in data["projects"]) for s in ("complete", "plays", "incomplete", "unknown")}
    assert all(data["summary"]["projects_" + s] == n for s, n in counts.items()), (path, counts)
    # The archive's missing media: every missing file once, with the projects that name it.
    named = {}
    for p in data["projects"]:
        for m in p["media"]:
            if not m["exists"]: named.setdefault(m["resolved"], []).append(p["path"])
    assert [m["file"] for m in data["missing_media"]] == sorted(named), path
    assert all(m["projects"] == named[m["file"]] for m in data["missing_media"]), path
PY
}

# --- the test archive, with an odd name, a link loop and a backup --------------
archive=$work/archive
cp -r tests/data/inventory/archive "$archive"
cp "$archive/Live Sets/Été & Co's (final) #2.RPP" "$archive/Live Sets/<b>\"quoted\" & odd.rpp"
cp tests/data/inventory/archive/2023/old/minimal.rpp "$archive/2023/caf"$'\xe9'".rpp"  # a name that is not UTF-8
ln -s .. "$archive/2023/old/up"                     # a loop: must not be followed
before=$(cd "$archive" && find . -type f -exec sha256sum {} + | sort)
set +e
"$native" --quiet --reaper-resources tests/data/inventory/resources --format json -o "$work/a.json" "$archive" \
  > "$work/out.txt" 2> "$work/err.txt"
status=$?
set -e
[ "$status" -eq 1 ] || fail "archive: exit $status (notes.rpp is no project: 1 expected)"
grep -q "notes.rpp: not a REAPER project" "$work/err.txt" || fail "archive: $(cat "$work/err.txt")"
[ ! -s "$work/out.txt" ] || fail "archive: --quiet printed $(cat "$work/out.txt")"
after=$(cd "$archive" && find . -type f -exec sha256sum {} + | sort)
[ "$before" = "$after" ] || fail "an input file changed"
"$python" - "$work/a.json" <<'PY'
import json, sys
data = json.load(open(sys.argv[1], encoding="utf-8"))
names = [p["path"].rsplit("/", 1)[1] for p in data["projects"]]
assert names == ["caf\udce9.rpp", "minimal.rpp", "<b>\"quoted\" & odd.rpp", "Été & Co's (final) #2.RPP"], names
statuses = {(a["format"], a["name"]): a["status"] for a in data["plugins"]}
assert statuses[("VST2", "ReaEQ")] == "installed" and statuses[("VST2", "M1 Le (x86)")] == "missing", statuses
media = {m["file"]: m["exists"] for m in data["projects"][3]["media"]}
assert media == {"Recordings\\take.flac": True, "/nonexistent/quorvel/missing.wav": False,
                 "Recordings/take.flac": True, "Audio/kick.wav": True}, media
PY
echo "ok: test archive read, link loop not followed, inputs unchanged"

# Without -o: inventory.<format> in the current folder, its path printed.
mkdir "$work/here"
(cd "$work/here" && "$native" --no-installed-check --format csv "$archive/2023/old/minimal.rpp" > out.txt)
[ -s "$work/here/inventory.csv" ] && [ "$(cat "$work/here/out.txt")" = "$work/here/inventory.csv" ] \
  || fail "default output: $(ls "$work/here")"
echo "ok: the default output is inventory.csv in the current folder"

# --- every format, one job and four: the same bytes --------------------------
for format in json csv html; do
  "$native" --quiet --reaper-resources tests/data/inventory/resources --format $format --jobs 1 \
    -o "$work/one.$format" "$archive" ${real:+"$real"} > /dev/null 2>&1 || true
  "$native" --quiet --reaper-resources tests/data/inventory/resources --format $format --jobs 4 \
    -o "$work/four.$format" "$archive" ${real:+"$real"} > /dev/null 2>&1 || true
  cmp -s "$work/one.$format" "$work/four.$format" || fail "$format differs between --jobs 1 and --jobs 4"
done
echo "ok: --jobs 1 and --jobs 4 write the same bytes"

# --- CSV read back, row for row the JSON's instances --------------------------
"$python" - "$work/one.csv" "$work/one.json" <<'PY'
import csv, json, re, sys
raw = open(sys.argv[1], "rb").read()
assert raw.startswith(b"\xef\xbb\xbf"), "the CSV does not start with a byte-order mark"
rows = list(csv.reader(open(sys.argv[1], encoding="utf-8-sig", newline="")))
# A file-name byte that is not UTF-8 is \udcXX in JSON and U+FFFD in CSV; a
# text a spreadsheet would take for a formula starts with "'" in CSV.
shown = lambda text: re.sub("[\udc80-\udcff]", "\ufffd", text)
guard = lambda text: "'" + text if text[:1] in ("=", "+", "-", "@", "\t", "\r") else text
data = json.load(open(sys.argv[2], encoding="utf-8"))
assert rows[0] == ["project", "location", "track", "track name", "item", "format", "kind", "name", "vendor",
                   "file", "id", "state", "preset", "status", "container", "reaper_version", "reaper_platform",
                   "project_status"], rows[0]
expected = []
for p in data["projects"]:
    for i in p["plugins"]:
        expected.append([guard(shown(p["path"])), i["location"], "" if i["track"] is None else str(i["track"]),
                         *map(guard, [i["track_name"], i["item"] or "", i["format"],
                                      "instrument" if i["instrument"] else "effect", i["name"], i["vendor"], i["file"],
                                      i["id"], i["state"], i["preset"], i["status"], i["container"] or "",
                                      p["reaper_version"], p["reaper_platform"], p["status"]])])
assert rows[1:] == expected, "CSV rows differ from the JSON instances"
print("ok: CSV read back:", len(rows) - 1, "rows equal the JSON's instances")
PY

# --- the CSV's projects and media tables, row for row the JSON's ----------------
"$native" --quiet --reaper-resources tests/data/inventory/resources --csv-table projects -o "$work/projects.csv" \
  "$archive" > /dev/null 2>&1 || true
"$native" --quiet --reaper-resources tests/data/inventory/resources --format csv --csv-table media \
  -o "$work/media.csv" "$archive" > /dev/null 2>&1 || true
"$python" - "$work/projects.csv" "$work/media.csv" "$work/a.json" <<'PY'
import csv, json, re, sys
read = lambda path: list(csv.reader(open(path, encoding="utf-8-sig", newline="")))
shown = lambda text: re.sub("[\udc80-\udcff]", "\ufffd", text)
guard = lambda text: "'" + text if text[:1] in ("=", "+", "-", "@", "\t", "\r") else text
data = json.load(open(sys.argv[3], encoding="utf-8"))
projects, media = read(sys.argv[1]), read(sys.argv[2])
def distinct(p, missing_only):
    return {(i["format"], i["file"], i["id"]) if i["file"] or i["id"] else (i["format"], i["display"])
            for i in p["plugins"] if not missing_only or i["status"] == "missing"}
expected = [[guard(shown(p["path"])), p["reaper_version"], p["reaper_platform"], p["status"], str(p["tracks"]),
             str(len(p["plugins"])), str(len(distinct(p, False))),
             str(p["missing_plugins_to_play"] + p["missing_plugins_to_edit"]), str(p["missing_plugins_to_play"]),
             str(p["missing_plugins_to_edit"]), str(len(p["media"])), str(p["missing_media"]), str(len(p["backups"]))]
            for p in data["projects"]]
assert projects[1:] == expected, (projects[1:], expected)
expected = [[guard(shown(p["path"])), *map(guard, [m["file"], m["resolved"]]), "yes" if m["exists"] else "no",
             guard(m["found_by_name"] or ""), str(m["uses"])] for p in data["projects"] for m in p["media"]]
assert media[1:] == expected, (media[1:], expected)
print("ok: CSV projects and media tables:", len(projects) - 1, "and", len(media) - 1, "rows equal the JSON's")
PY

# --- the real resource folders, each with its own projects --------------------
if [ -n "$resources" ]; then
  jsons=("$work/a.json" "$work/one.json")
  for folder in "$resources"/*/; do
    name=$(basename "$folder")
    [ -d "$folder/projects" ] || continue
    "$native" --quiet --reaper-resources "$folder" --format json -o "$work/$name.json" "$folder/projects" \
      > /dev/null || fail "$name: exit $?"
    jsons+=("$work/$name.json")
    "$python" - "$work/$name.json" "$name" <<'PY'
import json, sys
data = json.load(open(sys.argv[1], encoding="utf-8"))
s = {"installed": 0, "missing": 0, "unknown": 0}
for a in data["plugins"]:
    s[a["status"]] += 1
print("  %-26s %d projects, %d plug-ins: %d found, %d missing, %d unknown" %
      (sys.argv[2], len(data["projects"]), len(data["plugins"]), s["installed"], s["missing"], s["unknown"]))
PY
  done
  validate "${jsons[@]}"
  echo "ok: every JSON output matches the schema"
else
  validate "$work/a.json" "$work/one.json"
  echo "SKIP: no resource folders beside the corpus of real projects: resource pairs not checked"
fi

# --- the HTML in headless Chromium --------------------------------------------
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -n "$browser" ]; then
  "$native" --quiet --reaper-resources tests/data/inventory/resources -o "$work/i.html" "$archive" > /dev/null 2>&1 || true
  "$browser" --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" --enable-logging=stderr --v=0 \
    --dump-dom "file://$work/i.html" > "$work/dom.html" 2> "$work/browser.txt" || fail "chromium could not open the page"
  ! grep -q "Uncaught" "$work/browser.txt" || fail "script error: $(grep Uncaught "$work/browser.txt")"
  [ "$(grep -c '<table id="plugins" class="sortable" data-sorting="on">' "$work/dom.html")" -eq 1 ] \
    || fail "the page's script did not run"
  [ "$(grep -o '<script' "$work/dom.html" | wc -l)" -eq 1 ] || fail "a name became a script element"
  grep -q '&lt;b&gt;"quoted" &amp; odd.rpp' "$work/dom.html" || fail "an odd name is not shown as text"
  grep -q 'Lead &lt;Vox&gt; &amp; co' "$work/dom.html" || fail "a track name is not shown as text"
  grep -q "caf"$'\xef\xbf\xbd'".rpp" "$work/dom.html" || fail "a name that is not UTF-8 is not shown with U+FFFD"
  # A link to a project's box opens it: the page opened at #p2 shows it open.
  "$browser" --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" \
    --dump-dom "file://$work/i.html#p2" > "$work/dom2.html" 2>> "$work/browser.txt" || fail "chromium could not open #p2"
  grep -q '<details id="p2" open="">' "$work/dom2.html" || fail "the box a link names is not opened"
  grep -q '<details id="p1">' "$work/dom2.html" || fail "a box no link names was opened"
  echo "ok: the HTML renders in Chromium, its script runs, names stay text"
  # Laid out at two desktop widths and a phone's, and printed: no word broken
  # inside, nothing past the right edge, every project open and no control
  # when printed. The real corpus's page has the longest names.
  "$python" tests/html/page_check.py "$work/one.html" --width 1280 --width 1400 --width 420 --print \
    || fail "the page does not read well at every width"
  # "problems only" and the status column driven as a reader would: the
  # rows shown and their order are written into the page for --dump-dom.
  sed 's#</body>#<script>(function () {\
    var box = document.querySelector("input[data-missing=projects]"), rows = document.getElementById("projects").tBodies[0].rows;\
    box.checked = true; box.dispatchEvent(new Event("change"));\
    var shown = Array.prototype.filter.call(rows, function (r) { return !r.hidden; });\
    var bad = shown.filter(function (r) { return r.textContent.indexOf("complete") >= 0 \&\& r.textContent.indexOf("incomplete") < 0; });\
    document.getElementById("projects").querySelector("th:last-child").click();\
    var order = Array.prototype.map.call(rows, function (r) { return r.cells[r.cells.length - 1].getAttribute("data-v"); }).join("");\
    document.body.setAttribute("data-driven", shown.length + "/" + rows.length + " " + bad.length + " " + order);\
  })();</script></body>#' "$work/i.html" > "$work/drive.html"
  "$browser" --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" --enable-logging=stderr --v=0 \
    --dump-dom "file://$work/drive.html" > "$work/driven.html" 2> "$work/browser.txt" || fail "chromium could not open the page"
  driven=$(grep -o 'data-driven="[^"]*"' "$work/driven.html" | sed 's/data-driven="\(.*\)"/\1/')
  read -r shown bad order <<< "$driven"
  [ "${shown%/*}" -lt "${shown#*/}" ] && [ "${shown%/*}" -gt 0 ] && [ "$bad" = 0 ] \
    || fail "problems only showed $shown rows, $bad of them complete"
  [ "$order" = "$(echo "$order" | grep -o . | sort | tr -d '\n')" ] || fail "sorting by status gave $order"
  grep -q '<h2>Missing media</h2>' "$work/driven.html" || fail "no missing media section"
  echo "ok: \"problems only\" shows $shown projects, none complete; by status they sort $order"
else
  echo "SKIP: no chromium (install it with tools/install-deps)"
fi

# --- parts set aside while writing leave nothing behind ------------------------
# JSON and HTML set the projects' parts aside in files without a name until
# the summary is known. A full device, a file size limit and a kill in the
# middle of the run must leave no file in the folder for temporary files nor
# beside the output.
many=$work/many
mkdir -p "$many" "$work/tmp"
for i in $(seq -w 1 300); do cp "$archive/Live Sets/Été & Co's (final) #2.RPP" "$many/song $i.rpp"; done
for format in json html; do
  set +e
  TMPDIR=$work/tmp "$native" --quiet --no-installed-check --format $format -o /dev/full "$many" \
    > /dev/null 2> "$work/err.txt"
  status=$?
  set -e
  [ "$status" -eq 1 ] || fail "$format to /dev/full: exit $status"
  grep -q "/dev/full: Couldn't write the file! (No space left on device)" "$work/err.txt" \
    || fail "$format to /dev/full: $(cat "$work/err.txt")"
  [ -z "$(ls -A "$work/tmp")" ] || fail "$format to /dev/full left $(ls -A "$work/tmp")"
  # A file size limit that the parts set aside beside the output reach first:
  # the earlier inventory stays as it was.
  mkdir "$work/limited" "$work/one"
  cp "$many/song 001.rpp" "$work/one/"
  "$native" --quiet --no-installed-check --format $format -o "$work/limited/inventory.$format" "$work/one" > /dev/null
  earlier=$(sha256sum < "$work/limited/inventory.$format")
  set +e
  (trap '' XFSZ; ulimit -f 64; "$native" --quiet --no-installed-check --format $format \
     -o "$work/limited/inventory.$format" "$many" > /dev/null 2> "$work/err.txt")
  status=$?
  set -e
  [ "$status" -eq 1 ] || fail "$format past a file size limit: exit $status"
  grep -q "inventory.$format: Couldn't write the file! (File too large)" "$work/err.txt" \
    || fail "$format past a file size limit: $(cat "$work/err.txt")"
  [ "$(ls -A "$work/limited")" = "inventory.$format" ] || fail "$format past a file size limit left $(ls -A "$work/limited")"
  [ "$(sha256sum < "$work/limited/inventory.$format")" = "$earlier" ] || fail "$format past a file size limit changed the earlier inventory"
  rm -r "$work/limited" "$work/one"
done
# Killed while it waits for a reader that never reads: the parts set aside are
# open (the process shows them as deleted files) but have no name anywhere.
mkfifo "$work/pipe"
TMPDIR=$work/tmp "$native" --quiet --no-installed-check --format html -o - "$many" > "$work/pipe" 2> /dev/null &
pid=$!
exec 3< "$work/pipe"
open=0
for _ in $(seq 100); do
  open=$(ls -l "/proc/$pid/fd" 2>/dev/null | grep -c "$work/tmp/.*(deleted)" || true)
  [ "$open" -ge 2 ] && break
  sleep 0.1
done
[ "$open" -ge 2 ] || fail "the HTML inventory did not set its parts aside in TMPDIR ($open open)"
[ -z "$(ls -A "$work/tmp")" ] || fail "a part set aside has a name: $(ls -A "$work/tmp")"
kill -KILL "$pid"
wait "$pid" 2>/dev/null || true
exec 3<&-
[ -z "$(ls -A "$work/tmp")" ] || fail "a killed run left $(ls -A "$work/tmp")"
echo "ok: parts set aside leave nothing behind (full device, file size limit, killed run)"

# --- a reader that goes away, a file size limit: failed writes, not signals ---
# With the signals' default actions (as a shell leaves them), SIGPIPE and
# SIGXFSZ must not end the program: one line, exit 1, nothing left behind.
set +e
"$native" --no-installed-check -o - "$many" 2> "$work/err.txt" | head -c 10 > /dev/null
status=${PIPESTATUS[0]}
set -e
[ "$status" -eq 1 ] || fail "| head -c 10: exit $status"
grep -qx "quorvel-inventory: -: Couldn't write the file! (Broken pipe)" "$work/err.txt" || fail "| head: $(cat "$work/err.txt")"
mkdir "$work/limited"
echo "earlier" > "$work/limited/inventory.csv"
for target in file stdout scratch; do
  set +e
  case $target in
    file) (ulimit -f 50; TMPDIR=$work/tmp "$native" --no-installed-check --format csv -o "$work/limited/inventory.csv" "$many" \
             > /dev/null 2> "$work/err.txt") ;;
    stdout) (ulimit -f 50; TMPDIR=$work/tmp "$native" --no-installed-check --format csv -o - "$many" \
               > "$work/limited/stdout.csv" 2> "$work/err.txt") ;;
    scratch) (ulimit -f 50; TMPDIR=$work/tmp "$native" --no-installed-check --format html -o /dev/null "$many" \
                > /dev/null 2> "$work/err.txt") ;;
  esac
  status=$?
  set -e
  [ "$status" -eq 1 ] || fail "ulimit -f 50, $target: exit $status"
  grep -q ": Couldn't write the file! (File too large)" "$work/err.txt" || fail "ulimit -f 50, $target: $(cat "$work/err.txt")"
  [ -z "$(ls -A "$work/tmp")" ] || fail "ulimit -f 50, $target left $(ls -A "$work/tmp")"
done
[ "$(cat "$work/limited/inventory.csv")" = "earlier" ] && [ "$(ls -A "$work/limited")" = "$(printf 'inventory.csv\nstdout.csv')" ] \
  || fail "a file size limit changed the earlier inventory or left $(ls -A "$work/limited")"
# A pipe cannot take back what it was given: when a part set aside for the
# end cannot be stored, its reader gets nothing at all.
mkfifo "$work/limited-pipe"
for format in html json; do
  timeout 60 cat "$work/limited-pipe" > "$work/piped" &
  set +e
  (ulimit -f 2; TMPDIR=$work/tmp "$native" --no-installed-check --format $format -o "$work/limited-pipe" tests/data/inventory/archive \
     > /dev/null 2> "$work/err.txt")
  status=$?
  set -e
  wait
  [ "$status" -eq 1 ] && [ ! -s "$work/piped" ] && grep -q "(File too large)" "$work/err.txt" \
    || fail "ulimit -f 2, $format into a pipe: exit $status, the reader got $(wc -c < "$work/piped") bytes"
done
rm "$work/limited-pipe" "$work/piped"
set +e
"$native" --no-installed-check -o "$work/limited/x.html" "$many" > /dev/full 2> "$work/err.txt"
status=$?
set -e
[ "$status" -eq 1 ] && grep -q "path could not be printed" "$work/err.txt" || fail "stdout full: exit $status, $(cat "$work/err.txt")"
rm -r "$work/limited"
echo "ok: a broken pipe and a file size limit are failed writes (exit 1, one line), a full standard output fails the run"

# --- the kernel's own files are not read: /proc/kmsg would wait for ever -------
if [ -r /proc/kmsg ]; then
  mkdir "$work/kernel"
  ln -s /proc/kmsg "$work/kernel/x.rpp"
  for path in /proc/kmsg "$work/kernel"; do
    set +e
    timeout 20 "$native" --quiet --no-installed-check -o /dev/null "$path" > /dev/null 2> "$work/err.txt"
    status=$?
    set -e
    [ "$status" -eq 1 ] && grep -q ": not a regular file$" "$work/err.txt" || fail "$path: exit $status, $(cat "$work/err.txt")"
  done
  echo "ok: /proc/kmsg, named or linked, is not a regular file"
else
  echo "SKIP: /proc/kmsg cannot be read here (needs root)"
fi

# --- an unreadable folder, for a user who may not read it ----------------------
if command -v setpriv > /dev/null && [ "$(id -u)" -eq 0 ]; then
  shut=$work/shut
  mkdir -p "$shut/closed" "$shut/open"
  cp tests/data/inventory/archive/2023/old/minimal.rpp "$shut/open/"
  cp tests/data/inventory/archive/2023/old/minimal.rpp "$shut/closed/"
  chmod 755 "$work" "$shut" "$shut/open" && chmod 644 "$shut/open/minimal.rpp" && chmod 000 "$shut/closed"
  set +e
  (cd "$shut" && setpriv --reuid=65534 --regid=65534 --clear-groups "$native" --quiet --no-installed-check \
     --format json -o - . > "$work/shut.json" 2> "$work/err.txt")
  status=$?
  set -e
  chmod 755 "$shut/closed"
  [ "$status" -eq 1 ] || fail "unreadable folder: exit $status"
  grep -q "closed: the folder cannot be read (Permission denied)" "$work/err.txt" || fail "unreadable folder: $(cat "$work/err.txt")"
  grep -q '"path": "'"$shut"'/open/minimal.rpp"' "$work/shut.json" || fail "the readable project was not listed"
  # A folder that can be listed but not searched (mode 644): its project is
  # seen and cannot be examined, and says why.
  mkdir "$shut/listed"
  cp tests/data/inventory/archive/2023/old/minimal.rpp "$shut/listed/"
  chmod 644 "$shut/listed"
  for path in listed listed/minimal.rpp; do  # found by the walk, and named directly
    set +e
    (cd "$shut" && setpriv --reuid=65534 --regid=65534 --clear-groups "$native" --quiet --no-installed-check \
       --format json -o - "$path" > /dev/null 2> "$work/err.txt")
    status=$?
    set -e
    [ "$status" -eq 1 ] || fail "$path in a folder that cannot be searched: exit $status"
    grep -qx "quorvel-inventory: $shut/listed/minimal.rpp: cannot be opened (Permission denied)" "$work/err.txt" \
      || fail "$path in a folder that cannot be searched: $(cat "$work/err.txt")"
  done
  chmod 755 "$shut/listed"
  echo "ok: an unreadable folder is an error, the rest is read; a project in a folder that cannot be searched is an error"
else
  echo "SKIP: unreadable folder (needs root and setpriv to run as another user)"
fi

# --- the Windows build under Wine: the same inventory ------------------------
if [ -f "$windows" ]; then
  win=$work/win
  mkdir "$win"
  cp -r tests/data/inventory/archive "$win/archive"
  set +e
  tools/wine-run "$windows" --quiet --reaper-resources "Z:$root/tests/data/inventory/resources" --format json \
    -o "Z:$win/w.json" "Z:$win/archive" > /dev/null 2>&1
  status=$?
  set -e
  [ "$status" -eq 1 ] || fail "Windows build: exit $status"
  "$native" --quiet --reaper-resources tests/data/inventory/resources --format json -o "$win/n.json" "$win/archive" \
    > /dev/null 2>&1 || true
  validate "$win/w.json"
  "$python" - "$win/n.json" "$win/w.json" <<'PY'
import json, sys
native, windows = (json.load(open(p, encoding="utf-8")) for p in sys.argv[1:])
strip = lambda d: [(a["format"], a["name"], a["status"], a["projects"], a["instances"]) for a in d["plugins"]]
assert strip(native) == strip(windows), "plug-ins differ"
media = lambda d: [(m["file"], m["exists"]) for p in d["projects"] for m in p["media"]]
assert media(native) == media(windows), (media(native), media(windows))
PY
  echo "ok: the Windows build under Wine finds the same plug-ins and media"
fi
