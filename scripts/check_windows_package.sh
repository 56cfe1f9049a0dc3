#!/usr/bin/env bash
# The Windows SDK package: makes the ZIP from the mingw build (CPack), checks
# its contents, builds the video-wall example against the unpacked package
# (nothing of the build tree on its paths) with mingw-w64, and runs it under
# Wine against the simulator the package ships; every tile must play to its
# end with an audio session.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build/mingw

cmake --preset mingw >/dev/null
cmake --build --preset mingw
rm -f "$build"/package/VKSACC-*-win64.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zip=$(ls "$build"/package/VKSACC-*-win64.zip)

work=$(mktemp -d /tmp/vksacc-winpkg-XXXXXX)
source scripts/wine-session.sh
trap 'wine_session_end; rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
pkg=$(echo "$work"/VKSACC-*-win64)
for f in README.md include/vksacc.h include/vksacc_abi.h bin/vksacc.dll bin/vksplatform.dll bin/vkssim.dll \
         bin/742AudioHelper.exe bin/vksctl.exe lib/libvksacc.dll.a lib/vksacc.lib lib/vksacc.def \
         lib/vksacc/standins/vidpane.dll lib/vksacc/standins/oemname.dll share/vksacc/sim/default.conf \
         lib/cmake/VKSACC/VKSACCConfig.cmake; do
  [[ -s $pkg/$f ]] || { echo "check_windows_package: $f is not in the package" >&2; exit 1; }
done
# The MSVC import library names the DLL and every export of the .def file.
exports=$(sed -n '/^EXPORTS/,$p' src/exports/vksacc.def | awk 'NR > 1 && NF {print $1}')
members=$(llvm-nm "$pkg/lib/vksacc.lib" 2>/dev/null || true)
for name in $exports; do
  grep -q " T $name\$" <<<"$members" || { echo "check_windows_package: vksacc.lib lacks $name" >&2; exit 1; }
done
grep -qa "vksacc.dll" "$pkg/lib/vksacc.lib" || { echo "check_windows_package: vksacc.lib does not name vksacc.dll" >&2; exit 1; }

# The example against the unpacked package only.
cmake -S examples/videowall -B "$work/videowall" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$pkg" \
  | tee "$work/cmake.txt" >/dev/null
grep -q "audio helper: $pkg/bin/742AudioHelper.exe" "$work/cmake.txt" ||
  { echo "check_windows_package: VKSACC_AUDIO_HELPER is not the packaged helper" >&2; exit 1; }
cmake --build "$work/videowall" >/dev/null

# Run under Wine from a folder of its own: the package's bin and stand-ins on
# the Windows PATH, the shipped simulator configuration.
mkdir -p "$work/clips"
head -c 700000 /dev/urandom >"$work/clips/a.ts"
head -c 300000 /dev/urandom >"$work/clips/b.ts"
wine_session_begin
(cd "$work/clips" && WINEPATH="$(winpath "$pkg/bin");$(winpath "$pkg/lib/vksacc/standins")" \
  VKS_SIM_CONFIG="$(winpath "$pkg/share/vksacc/sim/default.conf")" \
  "$WINE" "$work/videowall/videowall.exe" a.ts b.ts) 2>&1 | tr -d '\r' | tee "$work/wall.txt"
grep -q "videowall: every tile played to its end" "$work/wall.txt" &&
  grep -q "tile 1: .*audio session {" "$work/wall.txt" &&
  ! grep -q "audio session {00000000-0000-0000-0000-000000000000}" "$work/wall.txt" ||
  { echo "check_windows_package: the example did not play every tile with sound under Wine" >&2; exit 1; }
echo "check_windows_package: $(basename "$zip") ($(du -k "$zip" | cut -f1) KiB) checked"
