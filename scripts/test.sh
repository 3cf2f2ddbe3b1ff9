#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Needs no display. The suite, then the
# suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then every fuzz target
# for a short run on its seed corpus; every source file is read by the Windows compiler beside
# all of that. Any failure, sanitizer report or crash fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# The Windows check reads every source file with another compiler: work for the cores alone,
# no line. At the lowest priority it runs in the time the suites leave the cores waiting on
# the lines' pace, and gives way to every test.
echo "== every source file for Windows, beside the suites and the fuzz targets"
nice -n 19 scripts/windows-check.py build > build/windows-check.log 2>&1 &
windows=$!
trap 'kill "$windows" 2>/dev/null || true' EXIT
# Most tests wait on a line's real pace and leave the cores idle: many run side by side.
ctest --test-dir build --output-on-failure -j"${KX_TEST_JOBS:-12}" --timeout 300
echo "== the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitize.sh
echo "== fuzz targets, ${KX_FUZZ_SECONDS:-15} s each"
# Each target runs for a fixed time, so one more at once than there are cores costs them runs,
# not minutes: on two cores a third, about what the Windows check beside them used to cost.
fuzzed=0
KX_FUZZ_JOBS=${KX_FUZZ_JOBS:-$(($(nproc) + 1))} scripts/fuzz.sh "${KX_FUZZ_SECONDS:-15}" || fuzzed=$?
checked=0
wait "$windows" || checked=$?
echo "== every source file for Windows"
cat build/windows-check.log
[ "$fuzzed" -eq 0 ] && [ "$checked" -eq 0 ]
