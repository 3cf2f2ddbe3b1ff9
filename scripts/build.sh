#!/usr/bin/env bash
# Configures (once) and builds into build/: everything, or the targets named.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/build.ninja ]; then
    # clang builds this code in about half gcc's time on a small machine; gcc still reads
    # every file of src/ in the Windows check. CXX=g++ scripts/build.sh builds with gcc.
    if [ -z "${CXX:-}" ] && command -v clang++ >/dev/null; then
        export CC=clang CXX=clang++
    fi
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
if [ $# -gt 0 ]; then
    cmake --build build -j"$(nproc)" --target "$@"
else
    cmake --build build -j"$(nproc)"
fi
