#!/usr/bin/env bash
# Sets up and builds Tessera, then starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/src/tessera "$@"
