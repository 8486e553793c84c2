#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer target (clang, ASan + UBSan) in build/fuzz and
# runs it for 60 seconds from the real corpus (QUORVEL_CORPUS_DIR, when it is
# there) and the tests' files, then the inventory's block reader target for 30
# seconds. A crash, a leak, a sanitizer report, a time-out or a difference from
# the reference reading fails this step; the input is left in
# build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVEL_FUZZ=ON -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_GUI=OFF >/dev/null
cmake --build build/fuzz --target quorvel_pipeline_fuzz quorvel_block_reader_fuzz

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds=()
corpus=$(sed -n 's/^QUORVEL_CORPUS_DIR:[A-Z]*=//p' build/fuzz/CMakeCache.txt)
[ -n "$corpus" ] && [ -d "$corpus" ] || echo "note: no corpus of real projects at ${corpus:-(not configured)}: seeds from tests/data only"
for dir in "$corpus" tests/data fuzz/seeds; do
  [ -n "$dir" ] && [ -d "$dir" ] && seeds+=("$dir")
done
mkdir -p build/fuzz/artifacts
status=0
build/fuzz/fuzz/quorvel_pipeline_fuzz -dict=fuzz/rpp.dict -max_total_time=60 -rss_limit_mb=2048 -timeout=10 \
  -max_len=8192 -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ "$work" "${seeds[@]}" \
  >build/fuzz/fuzz.log 2>&1 || status=$?
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|peak_rss_mb)' build/fuzz/fuzz.log || true
if [ "$status" -ne 0 ]; then
  tail -n 60 build/fuzz/fuzz.log
  echo "fuzzing found a fault (exit status $status); see build/fuzz/fuzz.log and build/fuzz/artifacts/"
  exit 1
fi

# The inventory's block reader, 30 seconds from the same seeds.
status=0
build/fuzz/fuzz/quorvel_block_reader_fuzz -dict=fuzz/rpp.dict -max_total_time=30 -rss_limit_mb=2048 -timeout=10 \
  -max_len=8192 -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ "${seeds[@]}" \
  >build/fuzz/block-reader-fuzz.log 2>&1 || status=$?
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|peak_rss_mb)' build/fuzz/block-reader-fuzz.log || true
if [ "$status" -ne 0 ]; then
  tail -n 60 build/fuzz/block-reader-fuzz.log
  echo "fuzzing the block reader found a fault (exit status $status); see build/fuzz/block-reader-fuzz.log"
  exit 1
fi
