#!/bin/sh
# Runs the Windows test programs (API, audio, end-to-end) under Wine, all in
# one fresh temporary Wine prefix (a prefix start costs seconds), each program
# once with the tests of wine_exclusions.txt left out; fails if any fails.
#   run_suite_under_wine.sh <build folder of the mingw preset>
# Sound: HOME is a folder whose .asoundrc makes ALSA's default device the
# null device, so headless Wine offers a default render endpoint on it.
# WINE64 and WINESERVER override the loader and the server.
set -u

if [ $# -ne 1 ] || [ ! -d "$1/bin" ]; then
    echo "usage: $0 <mingw build folder>" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$1/bin" && pwd)
. "$here/wine_env.sh" || exit 2

# The negative filter: the first word of each line that is not a comment.
filter=-$(sed -e 's/#.*//' "$here/wine_exclusions.txt" | awk 'NF { print $1 }' | paste -sd: -)

prefix=
for attempt in 1 2; do
    if prepare_prefix; then break; fi
    echo "preparing the Wine prefix failed (attempt $attempt)" >&2
    discard_prefix
    prefix=
done
[ -n "$prefix" ] || { echo "FAIL: no usable Wine prefix"; exit 1; }
mkdir -p "$prefix/home"
printf 'pcm.!default { type null }\n' > "$prefix/home/.asoundrc"
export HOME="$prefix/home"

status=0
ran=0
for name in vksacc_api_tests vksacc_audio_tests vksacc_e2e_tests; do
    exe="$bin/$name.exe"
    if [ ! -e "$exe" ]; then
        echo "FAIL $name: $exe not built"
        status=1
        continue
    fi
    log="$prefix/$name.log"
    start=$(date +%s)
    # From the programs' folder: Wine maps it to Z:, so the tests' Unix paths
    # (/tmp/..., the build's folders) name the same files there.
    (cd "$bin" && "$wine" "$exe" --gtest_filter="$filter" --gtest_brief=1) > "$log" 2>&1
    result=$?
    count=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$log" | tail -n 1)
    ran=$((ran + ${count:-0}))
    if [ $result -eq 0 ] && [ -n "$count" ]; then
        echo "PASS $name: ${count} tests in $(($(date +%s) - start)) s"
    else
        cat "$log"
        echo "FAIL $name (exit status $result)"
        status=1
    fi
done
echo "tests run under Wine: $ran; left out: $(echo "$filter" | tr ':' '\n' | grep -c .)"
discard_prefix
exit $status
