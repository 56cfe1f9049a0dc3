#!/usr/bin/env bash
# Installs VKSACC from the default build into a temporary prefix, builds the
# video-wall example against the installed package (not the build tree) with
# CMake and checks the pkg-config file, then runs the example and the
# installed vksctl against the simulator the package ships.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}

work=$(mktemp -d /tmp/vksacc-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --build "$build" --target vksacc vksplatform vkssim oemname vidpane vksctl vks_audio_helper vksctl_manpage
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in include/vksacc.h include/vksacc_abi.h lib/libvksacc.so lib/libvksplatform.so lib/libvkssim.so \
         lib/vksacc/standins/libvidpane.so lib/vksacc/standins/liboemname.so share/vksacc/sim/default.conf \
         bin/vksctl lib/742AudioHelper lib/cmake/VKSACC/VKSACCConfig.cmake lib/pkgconfig/vksacc.pc; do
  [[ -e $prefix/$f ]] || { echo "check_install: $f was not installed" >&2; exit 1; }
done

# The example, configured with nothing of the build tree on its paths; the
# package names the audio helper where it installed it.
cmake -S examples/videowall -B "$work/videowall" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" | tee "$work/cmake.txt" >/dev/null
grep -q "audio helper: $prefix/lib/742AudioHelper" "$work/cmake.txt" ||
  { echo "check_install: VKSACC_AUDIO_HELPER is not the installed helper" >&2; exit 1; }
cmake --build "$work/videowall"
ctest --test-dir "$work/videowall" --output-on-failure

# The pkg-config file gives a compiler what it needs on its own.
PKG_CONFIG_PATH=$prefix/lib/pkgconfig
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -o "$work/videowall-pc" examples/videowall/videowall.c $(pkg-config --cflags --libs vksacc) -lpthread
mkdir -p "$work/clips"
head -c 700000 /dev/urandom >"$work/clips/a.ts"
head -c 300000 /dev/urandom >"$work/clips/b.ts"
[[ $(pkg-config --variable=audiohelper vksacc) -ef $prefix/lib/742AudioHelper ]] ||
  { echo "check_install: vksacc.pc does not name the audio helper" >&2; exit 1; }
# Run from a folder of its own, with nothing on PATH that holds the helper:
# the library must find the helper beside itself, and every tile gets an
# audio session (none, or a GUID of zeros, means no sound).
wall() {
  (cd "$work/clips" && env PATH="$1" \
    VKS_SIM_CONFIG="$(pkg-config --variable=simconfig vksacc)" VKS_DLL_PATH="$(pkg-config --variable=standindir vksacc)" \
    "$work/videowall-pc" a.ts b.ts) | tee "$work/wall.txt"
  grep -q "tile 1: .*audio session {" "$work/wall.txt" &&
    ! grep -q "audio session {00000000-0000-0000-0000-000000000000}" "$work/wall.txt"
}
wall /usr/bin:/bin ||
  { echo "check_install: the installed example's decoders get no audio session" >&2; exit 1; }

# The installed vksctl finds the shipped simulator by itself.
env -u VKS_SIM_CONFIG -u VKS_DRIVERS -u VKS_DLL_PATH "$prefix/bin/vksctl" play "file://$work/clips/a.ts" 2>&1 \
  | tee "$work/play.txt"
grep -q "using the simulator with its default configuration $prefix/share/vksacc/sim/default.conf" "$work/play.txt"
grep -q "VKSERROR_END_OF_STREAM" "$work/play.txt"
# The manual page and the completion came with it.
[[ -s $prefix/share/man/man1/vksctl.1 && -s $prefix/share/bash-completion/completions/vksctl ]] ||
  { echo "check_install: the manual page or the bash completion was not installed" >&2; exit 1; }
echo "check_install: the installed package builds and runs the example"
