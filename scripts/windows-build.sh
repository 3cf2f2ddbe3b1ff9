#!/usr/bin/env bash
# Builds the Windows programs into build-win/ with Debian's MinGW-w64 and the cached Qt of
# scripts/windows-qt.sh: build-win/bin holds kxlink.exe and kxlink-cli.exe with everything
# they need to run (Qt's and MinGW's DLLs, Qt's plugins, a font), build-win/tests the unit
# tests as .exe. Runs at the lowest priority: it is long and nothing waits on it.
#
#   scripts/windows-build.sh [target ...]     (default: the programs and the unit tests)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
qt="$(scripts/windows-qt.sh)"
out=build-win
# No plant commands (MQTT, systemd) on a technician's PC; MinGW's own linker, not mold.
# Configured every time (a second or two): a changed option here reaches an old tree.
nice -n 19 cmake -S . -B "$out" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64-toolchain.cmake" \
    -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DKX_PLANT=OFF -DKX_LINKER=default >/dev/null
if [ $# -gt 0 ]; then
    nice -n 19 cmake --build "$out" -j"$(nproc)" --target "$@"
else
    nice -n 19 cmake --build "$out" -j"$(nproc)" --target kxlink kxlink-cli windows-tests
fi

# The runnable folder: the programs find Qt's DLLs beside themselves and its plugins in the
# folders Qt looks in by default there.
bin="$out/bin"
mingw=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
for dll in libgcc_s_seh-1.dll libstdc++-6.dll; do
    cp -u "$mingw/$dll" "$bin/"
done
cp -u /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$bin/"
for m in Core Gui Widgets Network; do
    cp -u "$qt/bin/Qt6$m.dll" "$bin/"
done
mkdir -p "$bin/platforms" "$bin/styles" "$bin/imageformats" "$bin/lib/fonts"
cp -u "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qoffscreen.dll" "$bin/platforms/"
cp -u "$qt/plugins/styles/"*.dll "$bin/styles/"
cp -u "$qt/plugins/imageformats/qico.dll" "$bin/imageformats/"
# Qt's offscreen platform draws text only with a font of its own folder (lib/fonts); the
# windows platform uses the system's.
cp -u /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf \
    "$bin/lib/fonts/"
# The operator's manual is rendered by the Linux build (it runs the program to picture it).
[ -f build/bin/60387.PDF ] && cp -u build/bin/60387.PDF "$bin/"
# The tests run from their own folder with the same DLLs and plugins.
if [ -d "$out/tests" ]; then
    cp -u "$bin"/*.dll "$qt/bin/Qt6Test.dll" "$out/tests/"
    cp -ru "$bin/platforms" "$bin/styles" "$bin/lib" "$out/tests/"
fi
echo "windows-build: $root/$bin"
