#!/usr/bin/env bash
# The main job: builds VKSACC and runs a session against the built-in device
# simulator (the README's main-job command).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vksctl vkssim oemname vidpane
# Without hardware, the built-in simulator with its default configuration
# stands in for the driver and the devices.
export VKS_SIM_CONFIG=${VKS_SIM_CONFIG:-$PWD/sim/configs/default.conf}
export VKS_DLL_PATH=${VKS_DLL_PATH:-$PWD/build/default/standins}
exec build/default/bin/vksctl "$@"
