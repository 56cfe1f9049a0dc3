#!/usr/bin/env bash
# vksctl.exe run as a person runs it, under Wine: one fresh process per row
# against the simulated devices (the driver host of the Windows platform
# layer), its exit status and a text its output must hold. The rows are the
# Linux vksctl tests' that mean the same on Windows; signals, /proc and the
# exporter (not in the Windows build) stay with the Linux tests.
#   vksctl_under_wine.sh <mingw build folder>
# Runs in the Wine session of its caller (run_suite_under_wine.sh) when there
# is one, else in a session of its own.
set -uo pipefail

if [[ $# -ne 1 || ! -x $1/bin/vksctl.exe ]]; then
    echo "usage: $0 <mingw build folder with bin/vksctl.exe>" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$(cd "$1/bin" && pwd)
caller_session=${WINE_SESSION_DIR:-}
source "$root/scripts/wine-session.sh"
if [[ -z $caller_session ]]; then
    wine_session_begin || exit 1
    trap wine_session_end EXIT
fi

config=$(winpath "$root/sim/configs/default.conf")
work=$(mktemp -d "$WINE_SESSION_DIR/vksctl.XXXXXX")
head -c 200000 /dev/urandom >"$work/small.ts"
: >"$work/empty.ts"
stream=udp://239.1.1.1:5000

failed=0
rows=0
# row EXIT TEXT ARGS...: vksctl.exe ARGS exits with EXIT and prints TEXT
# (standard output and error together, line ends made Unix ones).
row() {
    local want=$1 text=$2
    shift 2
    local out status
    (cd "$work" && "$WINE" "$bin/vksctl.exe" --sim-config "$config" "$@" >"$work/out" 2>&1 </dev/null)
    status=$?
    out=$(tr -d '\r' <"$work/out")
    rows=$((rows + 1))
    if [[ $status != "$want" || $out != *"$text"* ]]; then
        echo "FAIL vksctl.exe $*: exit status $status (want $want), output must hold '$text':"
        echo "$out" | sed 's/^/    /'
        failed=$((failed + 1))
    fi
}

row 0 "vksctl 0.1.0 (library 0.1.0)" --version
row 2 "unknown command 'frobnicate'" frobnicate
row 2 "unknown option --colour" devices --colour
row 2 "--watch 1e9 is too large" health --watch 1e9
row 2 "--count goes with --watch S" health --count 3
row 0 "VKS Media Device B" devices
row 0 '"decoders":[{"index":0,"name":"VKS Media Device A"' devices --json
row 0 "Simulated camera 0.1" discover
row 2 "no decoder 6" discover --decoder 6
row 0 "00:1d:2f:00:00:01" net
row 0 "command round trip" net ping 127.0.0.1
row 1 "VKSERROR_DIAG_PING_TIMEOUT" net ping 10.99.99.99
row 0 "read back: 77" param set encoder profile 77
row 1 "(valid: 64000 to 40000000)" param set encoder bit-rate 1
row 0 '"unit":"bit/s"' --json param list
row 0 "47 C" health
row 0 "stopped after 0.2 s" play --seconds 0.2 "$stream"
# A bare relative name becomes the absolute file address (here a drive path).
row 0 "playing file://$(winpath "$work/small.ts")" play small.ts
row 0 "VKSERROR_END_OF_STREAM" play "$(winpath "$work/small.ts")"
row 1 "is empty: nothing to play" play empty.ts
row 1 "does not exist" play 'file://Z:\nonexistent\clip.ts'
row 1 "no frame was decoded within 0.3 s" play --first-frame-timeout 0.3 "$stream"
row 1 "(ports there: 2, 3)" play --decoder 2 --port 0 "$stream"
row 1 "not available in this Windows build" exporter

echo "vksctl.exe rows under Wine: $((rows - failed)) of $rows passed"
((failed == 0))
