#!/usr/bin/env bash
# The exporter against random output targets (files, links, hard links to
# projects, folders, devices, pipes with and without a reader, standard
# output, a full file system, signals, file size limits) for 45 seconds: no
# project, report, link, pipe or device may be lost or damaged, and no
# temporary file left behind. A finding keeps its folder in build/fuzz-outputs/.
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/fuzz-outputs --seconds 45 --exporter build/native/app/quorvel-export --findings build/fuzz-outputs
