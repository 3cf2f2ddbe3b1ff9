#!/usr/bin/env bash
# Configures (once) and builds build-asan/: everything with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, the suite and the fuzz targets (libFuzzer) in one tree, so the
# code is compiled once for both. Builds everything, or the targets named.
#   scripts/asan-build.sh [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -f build-asan/CMakeCache.txt ] && ! grep -q '^KX_FUZZ:BOOL=ON' build-asan/CMakeCache.txt; then
    # A tree from before the fuzz targets moved in here, made with another compiler.
    echo "build-asan/ holds an older kind of build; configuring it afresh"
    rm -rf build-asan
fi
if [ ! -f build-asan/build.ninja ]; then
    CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKX_SANITIZE=ON -DKX_FUZZ=ON
fi
if [ $# -gt 0 ]; then
    cmake --build build-asan -j"$(nproc)" --target "$@"
else
    cmake --build build-asan -j"$(nproc)"
fi
