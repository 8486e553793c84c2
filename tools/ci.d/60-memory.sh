#!/usr/bin/env bash
# Peak memory of the exporter on dense projects (floods of tracks and
# plug-ins, empty lines, NUL bytes, one huge name, UTF-16, Windows-1252),
# each within its target: 4 times the file plus 16 MiB for a shape of lines,
# 100 bytes a record plus the file for a flood of records. Then the
# inventory's, in every format: 290,000 tracks of a media file and two
# plug-ins each within 64 MiB plus 100 bytes per distinct media path, a
# 200 MB track name within 3 times the name plus 16 MiB.
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/bench --memory-only --repeat 1 --exporter build/native/app/quorvel-export
tools/bench-inventory --memory-only --repeat 1 --inventory build/native/app/quorvel-inventory
