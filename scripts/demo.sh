#!/usr/bin/env bash
# Installs what is missing, builds, starts the indicator simulator and the program wired to
# it. The demo runs in its own program folder, build/demo, so a real installation's
# Port.Ini and settings files are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh kxlink kxlink-cli kx7400-sim manual

demo="$PWD/build/demo"
link="$demo/ttyKX7400"
mkdir -p "$demo"
# The program keeps its files beside its executable: give the demo a copy of its own.
cp -f build/bin/kxlink "$demo/kxlink"
# The command line beside it uses the same Port.Ini: build/demo/kxlink-cli weigh --count 3
cp -f build/bin/kxlink-cli "$demo/kxlink-cli"
cp -f build/bin/60387.PDF "$demo/60387.PDF"
printf '[Scale Port]\r\nPort=1\r\nBaud=3\r\nParity=0\r\nData Bits=0\r\nStop Bits=0\r\nMode=0\r\n[Advanced]\r\nVersion=0\r\nCustom Outputs=1\r\n[Devices]\r\n1=%s\r\n' "$link" > "$demo/Port.Ini"

build/bin/kx7400-sim --link "$link" --log "$demo/sim.log" "$@" > "$demo/sim.out" &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
echo "Simulator on $(head -n1 "$demo/sim.out") (linked as $link, port 1); its log: $demo/sim.log"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$demo/kxlink"
else
    # No screen here: run on a virtual one for a while and keep a picture of the window.
    echo "No display found: running for 10 seconds on a virtual screen."
    rm -f "$demo/screenshot.png"
    xvfb-run -a -s "-screen 0 1024x768x24 -br" sh -c "
        '$demo/kxlink' & app=\$!
        sleep 8
        xwd -root -silent > '$demo/screenshot.xwd' 2>/dev/null || true
        kill \$app; wait \$app 2>/dev/null || true"
    # X's own dump format is one few viewers read: a PNG of the window instead.
    if scripts/xwd2png.py "$demo/screenshot.xwd" "$demo/screenshot.png"; then
        rm -f "$demo/screenshot.xwd"
        echo "A picture of the window: $demo/screenshot.png"
    else
        echo "No picture could be made of the window (see above)." >&2
    fi
fi
