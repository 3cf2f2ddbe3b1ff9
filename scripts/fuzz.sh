#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) in build-asan/ and runs each on its
# seed corpus for the given seconds (default 20), as many at once as there are cores. New
# inputs a run finds go to build-asan/corpus/<target>, never into the seeds in the tree; a
# crash leaves its input in build-asan/findings/ and fails the script.
#   scripts/fuzz.sh [seconds] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
scripts/deps.sh
scripts/asan-build.sh fuzz_all

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
out=build-asan/fuzz-runs
mkdir -p build-asan/findings "$out"
rm -f "$out"/*.failed
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

run() {
    local t=$1 work=build-asan/corpus/$1
    mkdir -p "$work"
    build-asan/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix=build-asan/findings/"$t"- \
        "$work" tests/fuzz/corpus/"$t" 2>"$out/$t.log" || touch "$out/$t.failed"
}

# Each target is one process on one core: run a core's worth at once.
jobs=${KX_FUZZ_JOBS:-$(nproc)}
for t in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    echo "== fuzz_$t for ${seconds}s"
    run "$t" &
done
wait

failed=0
for t in "${targets[@]}"; do
    echo "== fuzz_$t"
    if [ -e "$out/$t.failed" ]; then
        failed=1
        tail -n 60 "$out/$t.log"
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$out/$t.log" \
        | sed "s/^/  /" || true
done
exit $failed
