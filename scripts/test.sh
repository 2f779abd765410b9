#!/usr/bin/env bash
# Sets up and builds Tessera, then runs every test. Tests that need root
# (real mounts, loop devices) run when this is started as root, as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure --timeout 900 "$@"
