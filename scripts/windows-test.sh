#!/usr/bin/env bash
# Runs the Windows build (scripts/windows-build.sh) under Wine, in a Wine prefix of its own
# under build-win/ (never the user's): the unit tests that need no pseudo-terminal, then
# kxlink-cli.exe end to end against the simulator (the Linux build's build/bin/kx7400-sim) on
# a pseudo-terminal that Wine maps to COM5, then the window under Xvfb with Windows' own
# platform, then the installer's silent round trip when it has been made. Any check that
# fails ends the script with a non-zero status.
#
#   scripts/windows-test.sh [units|cli|window|installer ...]   (default: all of them)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
win="$root/build-win"
sim="$root/build/bin/kx7400-sim"
parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(units cli window installer)
wants() { [[ " ${parts[*]} " == *" $1 "* ]]; }

failures=0
ok() { echo "windows-test: ok   $*"; }
bad() { echo "windows-test: FAIL $*" >&2; failures=$((failures + 1)); }
die() { echo "windows-test: FAIL $*" >&2; exit 1; }

# What the tests need, without the recommends (a desktop's worth for wine64).
needed=()
for p in wine64 nsis xvfb xauth xdotool x11-apps x11-utils zip; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || needed+=("$p")
done
if [ ${#needed[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    echo "windows-test: installing ${needed[*]}"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${needed[@]}" >/dev/null
fi

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINE" ] || die "no $WINE"
[ -f "$win/bin/kxlink-cli.exe" ] || die "no Windows build: run scripts/windows-build.sh"
export WINEPREFIX="$win/wine" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer dialogs in a prefix made for tests.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "windows-test: making the Wine prefix $WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1 || die "wineboot could not make $WINEPREFIX"
fi
# COM1 is Wine's name for /dev/ttyS0, this machine's own serial port: taken off, so nothing
# here can open it by that name. Only COM5, the simulator's, is ever opened.
"$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "" /f >/dev/null 2>&1

restart_wine() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -p30 >/dev/null 2>&1
}
restart_wine
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    "$WINESERVER" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

# ---- the unit tests ----------------------------------------------------------------------
if wants units; then
    list="$win/tests/windows-tests.txt"
    [ -f "$list" ] || die "no $list: run scripts/windows-build.sh"
    mkdir -p "$win/test-logs"
    rm -f "$win/test-logs/"*
    # Most of a test's time is Wine starting it: three at once.
    run_unit() {
        local t=$1 log="$win/test-logs/$1.log" status=0
        # Wine hands a QT_ variable over only by its WINE-prefixed name. Qt Test writes to the
        # debugger channel when its output is no console unless told to use standard error.
        (cd "$win/tests" && WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1 \
            timeout 180 "$WINE" "$t.exe" </dev/null >"$log" 2>&1) || status=$?
        echo "$status" >"$log.status"
    }
    count=0
    while read -r t; do
        [ -n "$t" ] || continue
        count=$((count + 1))
        run_unit "$t" &
        while [ "$(jobs -rp | wc -l)" -ge 3 ]; do sleep 0.1; done
    done <"$list"
    wait
    while read -r t; do
        [ -n "$t" ] || continue
        log="$win/test-logs/$t.log"
        status=$(cat "$log.status" 2>/dev/null || echo missing)
        totals=$(grep -o 'Totals: .*' "$log" | head -n1 || true)
        # A test program that never got to its totals (a missing DLL, a crash) failed too.
        if [ "$status" = 0 ] && [ -n "$totals" ]; then
            ok "$t ($totals)"
        else
            bad "$t: exit $status, $(grep -E '^(FAIL|QFATAL|XPASS)' "$log" | head -n3 | tr '\n' ' ')${totals:-no totals} (see $log)"
        fi
    done <"$list"
    [ "$count" -gt 0 ] || bad "no unit tests listed in $list"
fi

# ---- the simulator on COM5 -----------------------------------------------------------------
e2e="$win/e2e"
start_sim() {
    [ -x "$sim" ] || die "no simulator: scripts/build.sh kx7400-sim"
    rm -rf "$e2e"
    mkdir -p "$e2e/prog"
    # A program folder of its own: Port.Ini, the backups and the logbook land there.
    cp -r "$win/bin/." "$e2e/prog/"
    local mode=continuous
    [ "$1" = 1 ] && mode=demand
    "$sim" --link "$e2e/tty" --mode "$mode" --load-every 0 --weight 12.5 --reload-ms 300 \
        --log "$e2e/sim.log" </dev/null >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -e "$e2e/tty" ] && break; sleep 0.05; done
    [ -e "$e2e/tty" ] || die "the simulator made no link"
    "$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$e2e/tty" /f >/dev/null 2>&1 ||
        die "cannot map COM5"
    # The mapping is read when Wine starts: a new server, started here so that what it says
    # as it ends does not land in the output.
    restart_wine
    # Port 5, no parity: a pseudo-terminal has no parity, and a second open that asks for it
    # is refused by the kernel (real Windows with a real port checks parity; see the README).
    printf '[Scale Port]\r\nPort=5\r\nBaud=3\r\nParity=1\r\nData Bits=0\r\nStop Bits=0\r\nMode=%s\r\n' \
        "$1" >"$e2e/prog/Port.Ini"
}
cli() { (cd "$e2e" && timeout 120 "$WINE" prog/kxlink-cli.exe "$@" </dev/null); }

if wants cli; then
    start_sim 0
    out=$(cli ports --port 5) && [[ "$out" == *$'COM5\tcan be opened'* ]] &&
        ok "ports: COM5 can be opened" || bad "ports --port 5: $out"
    "$WINE" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | grep -q 'COM5' &&
        ok "the registry lists COM5" || bad "HARDWARE\\DEVICEMAP\\SERIALCOMM has no COM5"

    if out=$(cli weigh --json --count 3 --port 5) &&
        python3 -c '
import json, sys
lines = sys.stdin.read().splitlines()
assert len(lines) == 3, lines
for l in lines:
    assert json.loads(l)["weight"] == 12.5, l
' <<<"$out"; then
        ok "weigh --json --count 3 --port 5: three frames of 12.5"
    else
        bad "weigh --json --count 3 --port 5: $out"
    fi

    if cli upload -q --port 5 up.dat && [ -s "$e2e/up.dat" ] &&
        grep -q $'Com1 Baud=2\r$' "$e2e/up.dat"; then
        ok "upload: up.dat, CR LF lines"
    else
        bad "upload"
    fi
    sed 's/^Com1 Baud=2\r$/Com1 Baud=4\r/' "$e2e/up.dat" >"$e2e/new.dat"
    # download reads the setup back and compares it after writing (verify is on by default).
    if cli download -q --port 5 --backup-dir backup new.dat &&
        [ "$(ls "$e2e/backup" | wc -l)" -eq 1 ] && cmp -s "$e2e/up.dat" "$e2e/backup/"*.dat; then
        ok "download with its backup and verify"
    else
        bad "download"
    fi
    same=0 && cli diff -q --indicator --port 5 new.dat >/dev/null || same=$?
    other=0 && out=$(cli diff -q --indicator --port 5 up.dat) || other=$?
    if [ "$same" -eq 0 ] && [ "$other" -eq 1 ] && [[ "$out" == *"Com1 Baud: 9600 | 38400"* ]]; then
        ok "diff --indicator: the same after the download, one change against the old file"
    else
        bad "diff --indicator: $same/$other $out"
    fi
    python3 - "$e2e/fw.hex" <<'PY'
import sys
out = []
for i in range(30):
    body = bytes([16, (i * 16) >> 8 & 0xFF, (i * 16) & 0xFF, 0]) + bytes(range(i, i + 16))
    out.append(":" + (body + bytes([(-sum(body)) & 0xFF])).hex().upper())
out.append(":00000001FF")
open(sys.argv[1], "wb").write(("\r\n".join(out) + "\r\n").encode())
PY
    if out=$(cli flash --no-backup --port 5 fw.hex 2>&1) && [[ "$out" == *"Transfer Complete!!"* ]]; then
        ok "flash: Transfer Complete!!"
    else
        bad "flash: $out"
    fi
    if cli logbook --check >/dev/null && out=$(cli logbook) &&
        [[ "$out" == *download* && "$out" == *"firmware update"* ]]; then
        ok "logbook --check: the chain holds the download and the update"
    else
        bad "logbook: $out"
    fi
    out=$(cli publish 2>&1) && bad "publish ran" ||
        [[ "$out" == *"not in this build"* ]] && ok "publish: not in this build" || bad "publish: $out"

    # Names that are no port, and a port that is not there: the typed reasons of Linux.
    status=0 && out=$(cli weigh --count 1 --device scale.txt 2>&1) || status=$?
    [ "$status" -ne 0 ] && [[ "$out" == *"not a serial port"* ]] &&
        ok "a file name is not a serial port" || bad "--device scale.txt: $status $out"
    status=0 && out=$(cli weigh --count 1 --device COM17 2>&1) || status=$?
    [ "$status" -eq 3 ] && [[ "$out" == *"COM17: no such device"* ]] &&
        ok "COM17: no such device" || bad "--device COM17: $status $out"
    # Held by one program, refused to the next: a port is opened exclusively.
    (cd "$e2e" && exec timeout 60 "$WINE" prog/kxlink-cli.exe weigh --port 5 >/dev/null 2>&1) &
    holder=$!
    sleep 3
    status=0 && out=$(cli weigh --count 1 --port 5 2>&1) || status=$?
    [ "$status" -eq 3 ] && [[ "$out" == *"in use by another program"* ]] &&
        ok "a held port is in use by another program" || bad "second open: $status $out"
    # The indicator goes away mid-read: weigh ends as on Linux, with its time-out (4) or a
    # port error (3), never a hang (124, timeout's) or success.
    kill "${pids[-1]}"
    status=0 && wait "$holder" || status=$?
    { [ "$status" -eq 3 ] || [ "$status" -eq 4 ]; } &&
        ok "the simulator gone mid-read ends weigh (status $status)" ||
        bad "weigh after the simulator went: status $status"
fi

# ---- the window ---------------------------------------------------------------------------
if wants window; then
    display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
    # Before Wine starts again: its desktop process takes the display it starts with.
    export DISPLAY="$display"
    # Demand mode: the simulator sends a frame only when asked, so what the window shows, it
    # polled for, and the simulator's log shows the polls.
    start_sim 1
    # Both ways at either end of the baud list: in demand mode every frame is asked for.
    for baud in 9600 115200; do
        out=$(cli weigh --count 2 --device COM5 --baud "$baud" --parity none --mode demand) &&
            [ "$(grep -c '12.50 lb' <<<"$out")" -eq 2 ] &&
            ok "weigh in demand mode at $baud baud" || bad "weigh at $baud: $out"
    done
    # Waiting for frames that never come (nobody asks this simulator): the read times out.
    status=0 && out=$(cli weigh --count 1 --timeout 700 --device COM5 --parity none \
        --mode continuous 2>&1) || status=$?
    [ "$status" -eq 4 ] && [[ "$out" == *"time-out"* ]] &&
        ok "a silent line times out (status 4)" || bad "weigh on a silent line: $status $out"
    "$WINE" "$e2e/prog/kxlink.exe" >"$e2e/window.log" 2>&1 &
    pids+=($!)
    window=""
    for _ in $(seq 60); do
        window=$(xdotool search --name '^KXLINK' 2>/dev/null | head -n1 || true)
        [ -n "$window" ] && break
        sleep 0.5
    done
    if [ -z "$window" ]; then
        bad "the window did not open"
    else
        ok "the window opened"
        # The window polls the simulator and shows what it answers.
        before=$(grep -c ' RX ' "$e2e/sim.log" || true)
        sleep 3
        after=$(grep -c ' RX ' "$e2e/sim.log" || true)
        if [ "$after" -gt "$before" ] && grep -q ' TX ' "$e2e/sim.log"; then
            ok "the window polls COM5 and the simulator answers"
        else
            bad "no polls from the window ($before, $after)"
        fi
        xwd -root -silent -display "$display" >"$e2e/front.xwd"
        python3 scripts/xwd2png.py "$e2e/front.xwd" "$e2e/windows-front-panel.png" &&
            ok "screenshot $e2e/windows-front-panel.png" || bad "no screenshot"
        # No window manager: the key goes to the window itself.
        xdotool key --window "$window" F4 2>/dev/null
        editor=""
        for _ in $(seq 30); do
            editor=$(xdotool search --name 'Parameter|Setup|\.dat' 2>/dev/null | head -n1 || true)
            [ -n "$editor" ] && break
            sleep 0.5
        done
        if [ -n "$editor" ]; then
            ok "F4 opened the editor ($(xdotool getwindowname "$editor"))"
            xwd -root -silent -display "$display" >"$e2e/editor.xwd"
            python3 scripts/xwd2png.py "$e2e/editor.xwd" "$e2e/windows-editor.png" || true
        else
            bad "F4 opened no editor"
        fi
    fi
fi

# ---- the installer -----------------------------------------------------------------------
if wants installer; then
    setup=$(ls "$win"/kxlink-setup-*.exe 2>/dev/null | head -n1 || true)
    if [ -z "$setup" ]; then
        bad "no installer: scripts/windows-package.sh"
    else
        dest="$WINEPREFIX/drive_c/Program Files/KXLINK"
        rm -rf "$dest"
        timeout 120 "$WINE" "$setup" /S || bad "the installer failed"
        if [ -f "$dest/kxlink-cli.exe" ] && [ -f "$dest/kxlink.exe" ] && [ -f "$dest/uninstall.exe" ]; then
            ok "installed into Program Files\\KXLINK"
        else
            bad "nothing installed in $dest"
        fi
        out=$(timeout 60 "$WINE" "$dest/kxlink-cli.exe" --version 2>&1) &&
            [[ "$out" == "kxlink-cli "* ]] && ok "installed: $out" || bad "installed --version: $out"
        "$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KXLINK' \
            /v DisplayName >/dev/null 2>&1 && ok "listed under installed programs" ||
            bad "no uninstall entry"
        menu=$(find "$WINEPREFIX/drive_c" -ipath '*Start Menu*' -iname 'KXLINK*.lnk' | head -n1)
        [ -n "$menu" ] && ok "Start menu entry" || bad "no Start menu entry"
        timeout 120 "$WINE" "$dest/uninstall.exe" /S || bad "the uninstaller failed"
        # The uninstaller runs a copy of itself from the temporary folder and returns at once.
        for _ in $(seq 40); do [ -e "$dest/kxlink-cli.exe" ] || break; sleep 0.25; done
        [ ! -e "$dest/kxlink-cli.exe" ] && ok "uninstalled" || bad "still installed after /S"
    fi
fi

if [ "$failures" -gt 0 ]; then
    echo "windows-test: $failures check(s) failed" >&2
    exit 1
fi
echo "windows-test: all checks passed"
