#!/usr/bin/env bash
# Builds VKSACC and runs its tests (the README's test command).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default
cmake --build --preset default
ctest --preset default -j2
