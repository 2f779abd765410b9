#!/usr/bin/env bash
# Installs what Tessera needs to build, run and test on Debian 12, then
# configures and builds it in ./build. Safe to run again: it only installs
# what is missing and rebuilds what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache clang-format
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins
    qcoro-qt6-dev libssl-dev libgl-dev
    dbus dbus-x11 python3 python3-dbusmock python3-gi
    udisks2 dosfstools exfatprogs e2fsprogs fdisk util-linux mount mtools psmisc
    xdg-utils qt6-translations-l10n fonts-noto-color-emoji
    rsync fuse3 python3-fusepy
    exfat-fuse fusefat
    xvfb xauth at-spi2-core python3-pyatspi imagemagick libglib2.0-bin
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

export CCACHE_BASEDIR="$PWD"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
