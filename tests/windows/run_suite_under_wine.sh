#!/usr/bin/env bash
# Runs the Windows test programs (API, audio, end-to-end) and the vksctl.exe
# rows (vksctl_under_wine.sh) under Wine, all in one Wine session
# (scripts/wine-session.sh: a temporary prefix, sound on ALSA's null device),
# since a prefix start costs seconds; each program once, with the tests of
# wine_exclusions.txt left out. Fails if any program fails.
#   run_suite_under_wine.sh <build folder of the mingw preset>
set -uo pipefail

if [[ $# -ne 1 || ! -d $1/bin ]]; then
    echo "usage: $0 <mingw build folder>" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$1/bin" && pwd)
source "$here/../../scripts/wine-session.sh"
wine_session_begin || exit 1
trap wine_session_end EXIT

# The negative filter: the first word of each line that is not a comment.
excluded=$(sed -e 's/#.*//' "$here/wine_exclusions.txt" | awk 'NF { print $1 }')
filter=-$(echo "$excluded" | paste -sd: -)

status=0
ran=0
for name in vksacc_api_tests vksacc_audio_tests vksacc_e2e_tests; do
    exe=$bin/$name.exe
    if [[ ! -e $exe ]]; then
        echo "FAIL $name: $exe not built"
        status=1
        continue
    fi
    log=$WINE_SESSION_DIR/$name.log
    start=$(date +%s)
    # From the programs' folder: Wine maps it to Z:, so the tests' Unix paths
    # (/tmp/..., the build's folders) name the same files there.
    (cd "$bin" && "$WINE" "./$name.exe" --gtest_filter="$filter" --gtest_brief=1) >"$log" 2>&1
    result=$?
    count=$(tr -d '\r' <"$log" | sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' | tail -n 1)
    ran=$((ran + ${count:-0}))
    if ((result == 0)) && [[ -n $count ]]; then
        echo "PASS $name: $count tests in $(($(date +%s) - start)) s"
    else
        cat "$log"
        echo "FAIL $name (exit status $result)"
        status=1
    fi
done
echo "tests run under Wine: $ran; left out: $(echo "$excluded" | grep -c .)"
WINE=$WINE WINE_SESSION_DIR=$WINE_SESSION_DIR "$here/vksctl_under_wine.sh" "$1" || status=1
exit $status
