#!/bin/sh
# Runs every conf_*.exe in a folder under Wine, each in a fresh temporary
# Wine prefix, and fails if any program fails.
#   run_under_wine.sh <folder-with-exe-files> [file.reg ...]
# Registry files given after the folder are imported into each prefix
# before the program runs (for the programs that read the registry).
# WINE64 overrides the loader (default: wine64 on PATH, else
# /usr/lib/wine/wine64).
set -u

if [ $# -lt 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 <folder-with-conf_*.exe> [file.reg ...]" >&2
    exit 2
fi
folder=$1
shift

. "$(cd "$(dirname "$0")" && pwd)/../windows/wine_env.sh" || exit 2

status=0
found=0
for exe in "$folder"/conf_*.exe; do
    [ -e "$exe" ] || continue
    found=1
    # A prefix whose first start fails under load (Wine then cannot load its
    # own kernel32) is thrown away and made again, once.
    prefix=
    for attempt in 1 2; do
        if prepare_prefix "$@"; then break; fi
        echo "$(basename "$exe"): preparing the Wine prefix failed (attempt $attempt)" >&2
        discard_prefix
        prefix=
    done
    if [ -z "$prefix" ]; then
        echo "FAIL $(basename "$exe") (no usable Wine prefix)"
        status=1
        continue
    fi
    if "$wine" "$exe"; then
        echo "PASS $(basename "$exe")"
    else
        echo "FAIL $(basename "$exe")"
        status=1
    fi
    discard_prefix
done

if [ $found -eq 0 ]; then
    echo "no conf_*.exe in $folder" >&2
    exit 2
fi
exit $status
