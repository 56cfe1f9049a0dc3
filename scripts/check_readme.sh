#!/usr/bin/env bash
# Runs the README's commands as written: every ```sh block, in order, in one
# bash shell started in the repository's root (so that an `export` in one
# block holds for the next, as for a person following the text), each
# command echoed first and the first failure ending the check.
#
# Two adjustments, both printed:
#  - the install prefix /opt/vksacc becomes a temporary folder, so that the
#    check needs no root and leaves nothing behind;
#  - commands that .ci/run runs as its own stages (the test command, the
#    full build-and-test line) and the benchmarks (timings, not a check) are
#    named and skipped rather than run twice.
set -euo pipefail
cd "$(dirname "$0")/.."
readme=${1:-README.md}

work=$(mktemp -d /tmp/vksacc-readme-XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/opt-vksacc

skip=(
  "scripts/test.sh"
  "cmake --preset default && cmake --build --preset default && ctest --preset default"
  "build/default/bin/vksacc_core_bench      # benchmarks"
)

# The sh blocks (``` fences with the sh tag, indented or not), one command a
# line, comments kept.
awk '
  /^[[:space:]]*```sh[[:space:]]*$/ { inside = 1; next }
  /^[[:space:]]*```/ { inside = 0; next }
  inside { sub(/^[[:space:]]+/, ""); if (length($0)) print }
' "$readme" >"$work/commands"
[[ -s $work/commands ]] || { echo "check_readme: no sh blocks in $readme" >&2; exit 1; }

script=$work/run.sh
{
  echo "set -euo pipefail"
  while IFS= read -r line; do
    for s in "${skip[@]}"; do
      if [[ $line == "$s" ]]; then
        printf 'echo %q\n' "check_readme: skipped (a stage of .ci/run, or a benchmark): $line"
        continue 2
      fi
    done
    printf 'echo %q\n' "\$ $line"
    printf '%s\n' "${line//\/opt\/vksacc/$prefix}"
  done <"$work/commands"
  echo 'echo "check_readme: every command of the README ran"'
} >"$script"

# One shell for the whole text, started without the developer's settings:
# exports carry over from block to block, as they do for a person. Commands
# that watch until stopped carry their stop in the README (--count,
# --seconds); the time limit only keeps a hung one from hanging CI.
env -u VKS_SIM_CONFIG -u VKS_DRIVERS -u VKS_DLL_PATH -u VKS_REGISTRY_FILE -u VKS_DEBUG_OUTPUT -u PKG_CONFIG_PATH \
  timeout 1800 bash "$script"
