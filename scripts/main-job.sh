#!/usr/bin/env bash
# The main job: builds vksctl with the device simulator and the stand-in
# libraries, then plays a sample file stream to its end with `vksctl play`
# (the README's main-job command). With arguments, runs `vksctl ARGS...`
# instead (for example: scripts/main-job.sh devices).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vksctl vks_audio_helper vkssim oemname vidpane

if (($#)); then
  exec build/default/bin/vksctl "$@"
fi

# The sample stream: 64 MiB, fed to the simulated decoder one 1 MiB block per
# 50 ms, about three seconds of playing. The simulator never decodes the
# bytes, so any content plays.
sample=build/default/samples/sample.ts
if [[ ! -s $sample ]]; then
  mkdir -p "$(dirname "$sample")"
  (yes "VKSACC sample transport stream" || true) | head -c 67108864 >"$sample"
fi
# No driver configured: vksctl runs against the simulator's default
# configuration (sim/configs/default.conf) and says so on standard error.
# The sound the simulated endpoint plays is recorded to a WAV file.
exec build/default/bin/vksctl play --wav build/default/samples/sample.wav "file://$PWD/$sample"
