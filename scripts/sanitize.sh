#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs the whole suite there; any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/asan-build.sh
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Instrumented tests spend more of their time on the cores than the plain ones.
ctest --test-dir build-asan --output-on-failure -j"${KX_ASAN_TEST_JOBS:-6}" --timeout 600
