#!/usr/bin/env bash
# Builds the Debian package from the install rules, installs it with apt-get
# as a practice would, starts the installed `tessera` (offscreen) and checks it
# stays up without complaining, then removes the package again. Root only.
set -euo pipefail
BUILD=$(realpath "$1")

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing a package needs root (CI runs as root)"
    exit 77
fi
if dpkg-query -W -f='${Status}' tessera 2>/dev/null | grep -q 'install ok installed'; then
    echo "SKIP: a tessera package is already installed on this machine; not touching it"
    exit 77
fi

OUT=$(mktemp -d /tmp/tessera-deb.XXXXXX)
cleanup() {
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -q tessera >/dev/null 2>&1 || true
    rm -rf "$OUT"
}
trap cleanup EXIT

(cd "$BUILD" && cpack -G DEB -B "$OUT" >/dev/null)
DEB=$(ls "$OUT"/tessera_*.deb)
echo "== package: $(basename "$DEB")"
dpkg-deb -I "$DEB" | grep -E '^ (Depends|Recommends):'
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$DEB" >"$OUT/apt.log" 2>&1 || { cat "$OUT/apt.log"; exit 1; }

for f in /usr/bin/tessera /usr/libexec/tessera/tessera-diskutil /usr/libexec/tessera/tessera-system-profiler \
         /usr/share/applications/tessera.desktop /usr/share/icons/hicolor/scalable/apps/tessera.svg \
         /usr/share/icons/hicolor/48x48/apps/tessera.png /usr/share/tessera/tessera.desktop; do
    [ -e "$f" ] || { echo "missing after install: $f"; exit 1; }
done
# The installed program finds its helper tools relative to itself.
uso=$(/usr/libexec/tessera/tessera-diskutil 2>&1 || true)
grep -q "Uso:" <<<"$uso" || { echo "the disk stand-in does not run: $uso"; exit 1; }

export HOME="$OUT/home" XDG_RUNTIME_DIR="$OUT/run"
mkdir -p "$HOME" && mkdir -m 700 -p "$XDG_RUNTIME_DIR"
set +e
QT_QPA_PLATFORM=offscreen timeout 5 tessera >"$OUT/out.log" 2>&1
rc=$?
set -e
cat "$OUT/out.log"
# Still running after 5 s means it started and stayed up (timeout kills it: 124).
[ "$rc" -eq 124 ] || { echo "tessera exited early with status $rc"; exit 1; }
if grep -v -e 'nessuna area di notifica' -e 'This plugin does not support' "$OUT/out.log" | grep -q .; then
    echo "tessera printed unexpected messages"
    exit 1
fi
echo "package installs and starts"
