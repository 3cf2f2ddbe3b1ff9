#!/usr/bin/env bash
# The Windows installer and a portable zip from the runnable folder of
# scripts/windows-build.sh: build-win/kxlink-setup-<version>.exe (Debian's nsis, 64-bit) and
# build-win/kxlink-<version>-portable.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
win=build-win
bin="$win/bin"
[ -f "$bin/kxlink.exe" ] && [ -f "$bin/kxlink-cli.exe" ] || {
    echo "windows-package: no programs in $bin: run scripts/windows-build.sh" >&2
    exit 1
}
command -v makensis >/dev/null || {
    echo "windows-package: no makensis (scripts/deps.sh installs nsis)" >&2
    exit 1
}
version=$(sed -n 's/^project(kxlink VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# What goes in: the programs and what they load, never what a run left behind.
stage="$win/package/KXLINK"
rm -rf "$win/package"
mkdir -p "$stage"
cp "$bin"/*.exe "$bin"/*.dll "$stage/"
cp -r "$bin/platforms" "$bin/styles" "$bin/imageformats" "$bin/lib" "$stage/"
[ -f "$bin/60387.PDF" ] && cp "$bin/60387.PDF" "$stage/"
# The uninstaller removes exactly these files and then the folders left empty, deepest first.
(
    cd "$stage"
    find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|    Delete "$INSTDIR\\&"|'
    find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|    RMDir "$INSTDIR\\&"|'
) >"$win/package/install-files.nsh"

makensis -V2 -DVERSION="$version" -DSOURCE="$PWD/$stage" -DFILELIST="$PWD/$win/package/install-files.nsh" \
    -DOUTFILE="$PWD/$win/kxlink-setup-$version.exe" packaging/windows/kxlink.nsi
rm -f "$win/kxlink-$version-portable.zip"
(cd "$win/package" && zip -qr9 "../kxlink-$version-portable.zip" KXLINK)
echo "windows-package: $win/kxlink-setup-$version.exe $win/kxlink-$version-portable.zip"
