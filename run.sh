#!/usr/bin/env bash
# Sets up, builds the Linux program and starts it; arguments are passed on (./run.sh DEBUG).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh run
cmake --preset linux >/dev/null
cmake --build --preset linux --target QRX_PC_INFO
exec build/linux/QRX_PC_INFO "$@"
