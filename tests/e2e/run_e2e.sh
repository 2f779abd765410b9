#!/usr/bin/env bash
# End-to-end: install Tessera into a private prefix, start the installed binary
# under Xvfb (a laptop's 1366x768 screen) with an accessibility bus and a tray
# host, give it real "sticks" (ext4 images on loop devices, mounted under
# /media) that a sysfs view calls removable USB disks, and drive it with key
# presses and through its accessibility tree. Screenshots of every step land in
# the artefacts folder.
set -euo pipefail
BUILD=$(realpath "$1")
ART=$(realpath -m "$2")
HERE=$(dirname "$(realpath "$0")")

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: needs root for loop devices and a private mount namespace (CI runs as root)"
    exit 77
fi
for tool in Xvfb unshare losetup mkfs.ext4 /usr/bin/python3 /usr/libexec/at-spi-bus-launcher dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi, dbusmock' 2>/dev/null || { echo "SKIP: python3-pyatspi or python3-dbusmock is missing"; exit 77; }

WORK=$(mktemp -d /tmp/tessera-e2e.XXXXXX)
mkdir -p "$ART"
LOOPS=()
XVFB_PID=""
cleanup() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
    for l in "${LOOPS[@]}"; do losetup -d "$l" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT

echo "== installing into $WORK/prefix"
cmake --install "$BUILD" --prefix "$WORK/prefix" >/dev/null

echo "== three sticks: ext4 images with files"
# Stick A holds images in a folder, a report and a hidden companion file;
# sticks B and C one image each. mkfs.ext4 -d fills them without mounting.
mkdir -p "$WORK/content/a/DCIM/100ECO" "$WORK/content/b/DCIM" "$WORK/content/c/DCIM"
head -c 300000 /dev/urandom > "$WORK/content/a/DCIM/100ECO/IMG_0001.JPG"
head -c 200000 /dev/urandom > "$WORK/content/a/DCIM/100ECO/IMG_0002.JPG"
printf 'Referto di prova\n' > "$WORK/content/a/referto.txt"
printf 'x' > "$WORK/content/a/._IMG_0001.JPG"
head -c 100000 /dev/urandom > "$WORK/content/b/DCIM/IMG_0100.JPG"
head -c 100000 /dev/urandom > "$WORK/content/c/DCIM/IMG_0200.JPG"
for name in a b c; do
    img="$WORK/$name.img"
    truncate -s 16M "$img"
    mkfs.ext4 -q -F -d "$WORK/content/$name" "$img"
    rm -rf "$WORK/content/$name/lost+found"
    dev=$(losetup -f --show "$img")
    LOOPS+=("$dev")
done

# The sysfs view: each loop disk hangs off a USB 3 port and says removable.
SYS="$WORK/sys"
i=0
for dev in "${LOOPS[@]}"; do
    i=$((i + 1))
    kname=$(basename "$dev")
    majmin=$(lsblk -dno MAJ:MIN "$dev" | tr -d ' ')
    usb="$SYS/devices/pci0000:00/0000:00:14.0/usb2/2-$i"
    disk="$usb/2-$i:1.0/host$i/target$i:0:0/$i:0:0:0/block/$kname"
    mkdir -p "$disk" "$SYS/dev/block"
    echo 5000 > "$usb/speed"
    echo "$((i + 1))" > "$usb/devnum"
    echo 1 > "$disk/removable"
    echo "$((32768))" > "$disk/size"
    ln -s "../../${disk#$SYS/}" "$SYS/dev/block/$majmin"
done

export HOME="$WORK/home"
mkdir -p "$HOME"
# An Italian desktop's folders, as xdg-user-dirs makes them at the first login.
mkdir -p "$HOME/.config" "$HOME/Immagini"
echo 'XDG_PICTURES_DIR="$HOME/Immagini"' > "$HOME/.config/user-dirs.dirs"
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

# Its own temporary folder: the single-instance socket lives there, so a run
# never meets another Tessera on the machine.
export TMPDIR="$WORK/tmp"
mkdir -p "$TMPDIR"

echo "== X server"
# -displayfd picks a free display, so parallel runs never share a screen.
exec 5>"$WORK/display"
# -noreset: the server otherwise starts over whenever its last client leaves
# (the accessibility launcher, which only looks at the screen), and a client
# connecting just then is refused.
Xvfb -displayfd 5 -screen 0 1366x768x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do grep -q . "$WORK/display" 2>/dev/null && break; sleep 0.1; done
grep -q . "$WORK/display" || { echo "Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$WORK/display")"

echo "== driving the program"
export TESSERA_E2E_PREFIX="$WORK/prefix" TESSERA_E2E_WORK="$WORK" TESSERA_E2E_ART="$ART"
export TESSERA_E2E_LOOPS="${LOOPS[*]}" TESSERA_E2E_MEDIA="/media/tessera-e2e-$$"
# A private mount namespace: the sysfs view replaces /sys for the program only,
# and the sticks' mounts never leak into the machine's own table.
unshare --mount --propagation private -- dbus-run-session -- bash -c '
    set -e
    mount --bind "$TESSERA_E2E_WORK/sys" /sys
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    exec /usr/bin/python3 "'"$HERE"'/drive_e2e.py"
' || {
    rc=$?
    kill -0 "$XVFB_PID" 2>/dev/null && echo "== Xvfb still running" || echo "== Xvfb has exited"
    tail -n 20 "$WORK/xvfb.log"
    exit $rc
}
