#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Needs no display. The suite, then the
# suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then every fuzz target
# for a short run on its seed corpus; the Windows programs are built beside all of that, then
# tested under Wine with their installer. Any failure, sanitizer report or crash fails the
# whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# The Windows build is work for the cores alone, no line. At the lowest priority it runs in
# the time the suites leave the cores waiting on the lines' pace, and gives way to every test.
echo "== the Windows build and installer, beside the suites and the fuzz targets"
(nice -n 19 scripts/windows-build.sh && nice -n 19 scripts/windows-package.sh) \
    > build/windows-build.log 2>&1 &
windows=$!
trap 'kill "$windows" 2>/dev/null || true' EXIT
# Most tests wait on a line's real pace and leave the cores idle: many run side by side.
ctest --test-dir build --output-on-failure -j"${KX_TEST_JOBS:-12}" --timeout 300
echo "== the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitize.sh
echo "== fuzz targets, ${KX_FUZZ_SECONDS:-15} s each"
# Each target runs for a fixed time, so one more at once than there are cores costs them runs,
# not minutes. They run at the Windows build's priority: sharing the cores with it costs them
# runs too, and the build ends that much sooner.
fuzzed=0
KX_FUZZ_JOBS=${KX_FUZZ_JOBS:-$(($(nproc) + 1))} nice -n 19 scripts/fuzz.sh "${KX_FUZZ_SECONDS:-15}" ||
    fuzzed=$?
built=0
wait "$windows" || built=$?
echo "== the Windows build and installer"
tail -n 20 build/windows-build.log
# Under Wine, once the cores are free: the unit tests, kxlink-cli against the simulator on
# COM5, the window, and the installer's silent round trip.
tested=1
if [ "$built" -eq 0 ]; then
    echo "== the Windows programs under Wine"
    tested=0
    scripts/windows-test.sh || tested=$?
fi
[ "$fuzzed" -eq 0 ] && [ "$built" -eq 0 ] && [ "$tested" -eq 0 ]
