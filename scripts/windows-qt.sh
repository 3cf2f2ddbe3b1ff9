#!/usr/bin/env bash
# Puts a Qt for 64-bit Windows (MinGW-w64: Core, Gui, Widgets, Network, Test; the platforms
# "windows" and "offscreen") into a cache folder outside the tree and prints that folder.
# Reused when present. Else the shared cache ../shared/win/qt6-base-6.4.2-mingw64.tar.xz is
# unpacked when its checksum is the one below; else the same Qt is built from Debian's own
# qt6-base source, which takes about half an hour on two cores.
#
#   scripts/windows-qt.sh          (KX_QT_CACHE=folder to put it elsewhere)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${KX_QT_CACHE:-${HOME:-/root}/.cache/kxlink}"
prefix="$cache/qt6-mingw64"
tarball="$root/../shared/win/qt6-base-6.4.2-mingw64.tar.xz"
sha256=e941690a64eaf9a7390455f4e8255c5def5498c6a4c91fa181896fa9547f8c4b
say() { echo "windows-qt: $*" >&2; }

# A finished install ends with this marker; a half-unpacked or half-built one is redone.
if [ -f "$prefix/.kxlink-complete" ]; then
    echo "$prefix"
    exit 0
fi
mkdir -p "$cache"
rm -rf "$prefix"

if [ -f "$tarball" ] && echo "$sha256  $tarball" | sha256sum --check --status; then
    say "unpacking the cached Qt into $prefix"
    tar -xJf "$tarball" -C "$cache"
    touch "$prefix/.kxlink-complete"
    echo "$prefix"
    exit 0
fi
if [ -f "$tarball" ]; then
    say "$tarball does not have the expected checksum; building Qt instead"
else
    say "no cached Qt at $tarball"
fi
say "building Qt 6 for Windows from Debian's qt6-base source: this takes about half an hour"

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# apt-get source needs the archive's source index, which a plain install does not list.
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    say "adding a deb-src entry for bookworm"
    $SUDO tee /etc/apt/sources.list.d/kxlink-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi
$SUDO apt-get update -qq
# The host tools (moc, rcc, uic) are Debian's own; the rest compiles Qt for Windows.
$SUDO apt-get install -y -qq --no-install-recommends dpkg-dev cmake ninja-build \
    g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools >&2

work="$cache/qt6-src"
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && apt-get source -qq qt6-base=6.4.2+dfsg-10 >&2 2>/dev/null ||
    apt-get source -qq qt6-base >&2)
src="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)"
[ -n "$src" ] || { say "apt-get source qt6-base gave no source folder"; exit 1; }

# Left out: what the program does not use, and what Debian's source or MinGW lack (the
# Wintab headers for tablet events). Direct2D stays on: in 6.4.2 the windows platform plugin
# needs the DirectWrite font database that the Gui library builds only with it.
cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_pkg_config=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF \
    -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_brotli=OFF -DFEATURE_icu=OFF -DFEATURE_openssl=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
    -DFEATURE_system_textmarkdownreader=OFF >&2
cmake --build "$work/build" -j"$(nproc)" >&2
cmake --install "$work/build" >&2
cp "$root/cmake/mingw64-toolchain.cmake" "$prefix/toolchain-mingw64.cmake"
rm -rf "$work"
touch "$prefix/.kxlink-complete"
echo "$prefix"
