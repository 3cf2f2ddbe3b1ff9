#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it into a scratch root, lists its
# files, checks what a desktop needs of it, and starts the installed program once, offscreen.
#   scripts/package-test.sh [build dir]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
fail() { echo "package-test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$scratch"/out/*.deb)
echo "== $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Depends Recommends

root="$scratch/root"
dpkg -x "$deb" "$root"
echo "== files"
(cd "$root" && find . ! -type d | sort)

app=com.morvellscales.kxlink
for f in usr/bin/kxlink usr/lib/kxlink/kxlink \
         usr/lib/kxlink/60387.PDF usr/bin/kx7400-sim \
         usr/bin/kxlink-cli usr/share/man/man1/kxlink-cli.1.gz \
         usr/share/applications/$app.desktop usr/share/icons/hicolor/scalable/apps/$app.svg \
         usr/share/metainfo/$app.metainfo.xml lib/systemd/system/kxlink-gateway.service \
         etc/kxlink/gateway.ini; do
    [ -e "$root/$f" ] || fail "missing $f"
done
[ "$(readlink "$root/usr/bin/kxlink")" = ../lib/kxlink/kxlink ] || fail "usr/bin/kxlink is no link"
depends=$(dpkg-deb --field "$deb" Depends)
for d in libqt6widgets6 libqt6gui6 libqt6serialport6; do
    [[ "$depends" == *"$d"* ]] || fail "Depends lacks $d"
done
# The trend is drawn by the program itself: one file, on Qt's base libraries.
[[ "$depends" != *libqt6charts6* ]] || fail "Depends names Qt Charts"
[ ! -e "$root/usr/lib/kxlink/modules" ] || fail "a modules folder beside the program"
# The gateway: its example configuration is a conffile and passes the gateway's own check;
# its unit passes systemd's, against the unpacked files; a user is made for it.
dpkg-deb --info "$deb" conffiles | grep -qx /etc/kxlink/gateway.ini || fail "gateway.ini is no conffile"
dpkg-deb --info "$deb" postinst | grep -q "adduser.*kxlink-gateway dialout" || fail "no gateway user"
"$build/bin/kxlink-cli" gateway --check --config "$root/etc/kxlink/gateway.ini" >/dev/null ||
    fail "the example gateway.ini fails its check"
if command -v systemd-analyze >/dev/null; then
    echo "== systemd-analyze verify"
    # This machine's systemd, with the unit pointed at the unpacked program.
    mkdir -p "$scratch/unit"
    sed "s|/usr/bin/kxlink-cli|$root/usr/bin/kxlink-cli|" \
        "$root/lib/systemd/system/kxlink-gateway.service" >"$scratch/unit/kxlink-gateway.service"
    verify=$(systemd-analyze verify --man=no "$scratch/unit/kxlink-gateway.service" 2>&1) ||
        { echo "$verify" >&2; fail "systemd-analyze finds fault with kxlink-gateway.service"; }
fi
# As clean as Debian's own packages: no lintian error and no warning.
if command -v lintian >/dev/null; then
    echo "== lintian"
    set +e
    findings=$(lintian --fail-on error,warning "$deb" 2>&1)
    status=$?
    set -e
    # Root is told it should not run lintian; that is about the caller, not the package.
    grep -v "running with root privileges" <<<"$findings" || true
    [ "$status" -eq 0 ] || fail "lintian finds fault with the package"
else
    echo "== lintian is not installed: the package's Debian checks are skipped"
fi
for page in kxlink kxlink-cli kx7400-sim; do
    [ -e "$root/usr/share/man/man1/$page.1.gz" ] || fail "no manual page for $page"
done
[ -e "$root/usr/share/doc/kxlink/copyright" ] || fail "no copyright file"
desktop-file-validate "$root/usr/share/applications/$app.desktop"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/$app.metainfo.xml" >/dev/null ||
    fail "AppStream metadata does not validate"
manual_text=$(pdftotext "$root/usr/lib/kxlink/60387.PDF" -)
[[ "$manual_text" == *"KXLINK Operator's Manual"* ]] || fail "the manual has no text"
pages=$(pdfinfo "$root/usr/lib/kxlink/60387.PDF" | awk '/^Pages:/ {print $2}')
[ "$pages" -ge 5 ] || fail "the manual has only $pages pages"

# The installed program, started once through its link with an empty home, by a user who
# may not write its folder (root may write anywhere, so root runs it as nobody): it must keep
# its files in that user's data folder and read nothing but its manual from its own folder.
home="$scratch/home"
mkdir -p "$home"
if [ "$(id -u)" -eq 0 ]; then
    chmod 755 "$scratch"
    chown -R nobody "$home"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    chmod -R a-w "$root/usr/lib/kxlink"
    as_user=()
fi
set +e
"${as_user[@]}" env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" \
    QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/kxlink" >"$scratch/run.log" 2>&1
status=$?
set -e
[ "$status" -eq 124 ] || { cat "$scratch/run.log" >&2; fail "the program ended early ($status)"; }
kept="$home/.local/share/KXLINK"
[ -f "$kept/Port.Ini" ] || { ls -laR "$home" >&2; fail "no Port.Ini in the user's data folder"; }
[ ! -e "$root/usr/lib/kxlink/Port.Ini" ] || fail "the program wrote into its install folder"
[ -f "$home/.config/Morvell Scales/ADOBE.INI" ] || fail "no ADOBE.INI"
echo "== the installed program ran and keeps its files in ~/.local/share/KXLINK"
