#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Needs no display. Before the suite:
# every source file read by the Windows compiler. After it: the suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then every fuzz target for a short run on
# its seed corpus. Any failure, sanitizer report or crash fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
echo "== every source file for Windows"
scripts/windows-check.py build
export QT_QPA_PLATFORM=offscreen
# Most tests wait on a line's real pace and leave the cores idle: many run side by side.
ctest --test-dir build --output-on-failure -j"${KX_TEST_JOBS:-12}" --timeout 300
echo "== the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitize.sh
echo "== fuzz targets, ${KX_FUZZ_SECONDS:-15} s each"
scripts/fuzz.sh "${KX_FUZZ_SECONDS:-15}"
