#!/usr/bin/env bash
# The repository on its own, as a newcomer clones it: the committed HEAD cloned
# into an empty temporary folder, with no corpus of real projects beside it,
# builds natively (without the window program) and passes its unit suites; the
# tests that need the corpus are reported as skipped, with the reason.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git clone --quiet --no-hardlinks . "$work/quorvel"
echo "plain clone of $(git -C "$work/quorvel" log -1 --format='%h %s') in $work/quorvel"
cd "$work/quorvel"
[ ! -e ../shared ] || { echo "FAIL: $work/shared exists"; exit 1; }
cmake -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="-Wall -Wextra" -DQUORVEL_BUILD_GUI=OFF >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2 | tee "$work/ctest.txt"
for test in corpus_test reading_equivalence_test_corpus inventory_test_corpus; do
  grep -Eq "[0-9]+: $test \.+\*+Skipped" "$work/ctest.txt" ||
    { echo "FAIL: $test was not reported as skipped without the corpus"; exit 1; }
done
grep -m1 -o 'no corpus of real projects at [^)]*)' build/Testing/Temporary/LastTest.log ||
  { echo "FAIL: the skipped tests did not say why"; exit 1; }
echo "ok: the unit suites pass on a plain clone; the corpus-backed tests are skipped"
