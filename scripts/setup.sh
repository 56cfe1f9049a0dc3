#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the Windows
# cross-build need. Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev      # tests and benchmarks
  googletest                                      # its sources, built for mingw-w64
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64  # the Windows DLL
  wine64                                          # runs the Windows conformance programs
  python3                                         # checks of the export table
  clang libclang-rt-14-dev                        # fuzz targets (libFuzzer)
  libcpp-httplib-dev                              # vksctl exporter's HTTP server
  nlohmann-json3-dev                              # JSON checks in the vksctl tests
  prometheus                                      # the exporter's test: promtool and a real server
  curl                                            # the README's exporter example
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
