#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) into build-fuzz/ and runs each on
# its seed corpus for the given seconds (default 20). New inputs a run finds go to
# build-fuzz/corpus/<target>, never into the seeds in the tree; a crash leaves its input in
# build-fuzz/findings/ and fails the script.
#   scripts/fuzz.sh [seconds] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
scripts/deps.sh
if [ ! -f build-fuzz/build.ninja ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKX_FUZZ=ON -DBUILD_TESTING=OFF
fi
cmake --build build-fuzz -j"$(nproc)" --target fuzz_all

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
mkdir -p build-fuzz/findings
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
failed=0
for t in "${targets[@]}"; do
    work=build-fuzz/corpus/$t
    mkdir -p "$work"
    echo "== fuzz_$t for ${seconds}s"
    if ! build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$t"- \
            "$work" tests/fuzz/corpus/"$t" 2>build-fuzz/fuzz_"$t".log; then
        failed=1
        tail -n 60 build-fuzz/fuzz_"$t".log
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' build-fuzz/fuzz_"$t".log \
        | sed "s/^/  /" || true
done
exit $failed
