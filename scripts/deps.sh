#!/usr/bin/env bash
# Installs what building, testing and the demo need, from Debian's packages. Installs
# nothing when everything is already there, so it is safe to run every time.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-serialport-dev qt6-qpa-plugins
    fonts-dseg python3 srecord
    clang libclang-rt-14-dev mold
    g++-mingw-w64-x86-64-posix qt6-base-dev-tools wine64 nsis xdotool x11-utils zip
    xvfb xauth x11-apps libxcb1-dev
    fonts-dejavu-core
    dpkg-dev appstream desktop-file-utils poppler-utils help2man lintian
    libmosquitto-dev mosquitto mosquitto-clients openssl python3-paho-mqtt
    libsystemd-dev mbpoll python3-pymodbus python3-serial-asyncio systemd
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
