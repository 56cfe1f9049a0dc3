#!/usr/bin/env bash
# The main job: builds VKSACC and runs a session against the built-in device
# simulator (the README's main-job command).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vksctl
exec build/default/bin/vksctl "$@"
