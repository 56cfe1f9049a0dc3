#!/usr/bin/env bash
# The main job on Windows: cross-builds vksctl.exe, vksacc.dll, the driver
# host, the device simulator, the stand-ins and 742AudioHelper.exe with
# mingw-w64, then plays the sample file stream with sound to its end under
# Wine: `vksctl.exe play`, the simulated devices reached through the
# user-mode driver host, the sound through Wine's WASAPI on ALSA's null
# device. Fails when the play fails or does not reach the end of the stream.
# With arguments, runs `vksctl.exe ARGS...` under Wine instead.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target vksctl vks_audio_helper vkssim oemname vidpane

source scripts/wine-session.sh
wine_session_begin
trap wine_session_end EXIT

# The simulator's configuration, given explicitly: the source-tree default
# that vksctl finds by itself is a Unix path.
config=$(winpath "$root/sim/configs/default.conf")
if (($#)); then
    "$WINE" build/mingw/bin/vksctl.exe --sim-config "$config" "$@"
    exit
fi

# The sample stream: as the Linux main job's, 64 MiB fed one block at a time
# (about three seconds of playing); any content plays.
sample=build/mingw/samples/sample.ts
if [[ ! -s $sample ]]; then
    mkdir -p "$(dirname "$sample")"
    (yes "VKSACC sample transport stream" || true) | head -c 67108864 >"$sample"
fi
log=build/mingw/samples/play.log
start=$(date +%s)
status=0
"$WINE" build/mingw/bin/vksctl.exe --sim-config "$config" play \
    "file://$(winpath "$root/$sample")" 2>&1 | tr -d '\r' | tee "$log" || status=$?
echo "vksctl.exe play: exit status $status, $(($(date +%s) - start)) s under Wine"
((status == 0)) || exit "$status"
if ! grep -q "VKSERROR_END_OF_STREAM" "$log"; then
    echo "the play did not reach the end of the stream" >&2
    exit 1
fi
# The decoder got its audio session: the render thread set up WASAPI and the
# session helper runs (a session of zeros would be none).
if ! grep -q "; audio session {" "$log" || grep -q "audio session {00000000-" "$log"; then
    echo "the decoder played without sound" >&2
    exit 1
fi
