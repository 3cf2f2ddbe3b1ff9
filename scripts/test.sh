#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Needs no display. The suite, then the
# suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then every fuzz target
# for a short run on its seed corpus, with every source file read by the Windows compiler
# beside them. Any failure, sanitizer report or crash fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# Most tests wait on a line's real pace and leave the cores idle: many run side by side.
ctest --test-dir build --output-on-failure -j"${KX_TEST_JOBS:-12}" --timeout 300
echo "== the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitize.sh
# The fuzz targets run for a fixed time each, so the Windows check's compiler beside them
# costs them runs, not minutes.
echo "== every source file for Windows, beside the fuzz targets"
scripts/windows-check.py build > build/windows-check.log 2>&1 &
windows=$!
echo "== fuzz targets, ${KX_FUZZ_SECONDS:-15} s each"
fuzzed=0
scripts/fuzz.sh "${KX_FUZZ_SECONDS:-15}" || fuzzed=$?
checked=0
wait "$windows" || checked=$?
echo "== every source file for Windows"
cat build/windows-check.log
[ "$fuzzed" -eq 0 ] && [ "$checked" -eq 0 ]
