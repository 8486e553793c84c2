#!/usr/bin/env bash
# The exporter and the inventory against random output targets (files, links,
# hard links to projects, folders, devices, pipes with and without a reader,
# standard output, a full file system, signals, file size limits; for the
# inventory also its caches and media files, and standard output appended to
# or opened over a project, a cache or a media file) for 50 seconds, rounds
# split between the two at random: no project, cache, media file, report,
# link, pipe or device may be lost or damaged, and no temporary file left
# behind. A finding keeps its folder in build/fuzz-outputs/.
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/fuzz-outputs --seconds 50 --exporter build/native/app/quorvel-export \
  --inventory build/native/app/quorvel-inventory --findings build/fuzz-outputs
