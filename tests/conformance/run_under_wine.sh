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

wine=${WINE64:-}
if [ -z "$wine" ]; then
    if command -v wine64 >/dev/null 2>&1; then
        wine=$(command -v wine64)
    else
        wine=/usr/lib/wine/wine64
    fi
fi
# The server stands beside the loader (Debian's wine64 puts neither on PATH);
# WINESERVER overrides it.
wineserver=${WINESERVER:-}
if [ -z "$wineserver" ]; then
    loader_dir=$(dirname "$(readlink -f "$wine" 2>/dev/null || echo "$wine")")
    for candidate in "$loader_dir/wineserver" "$loader_dir/wineserver64" /usr/lib/wine/wineserver; do
        if [ -x "$candidate" ]; then wineserver=$candidate; break; fi
    done
    [ -n "$wineserver" ] || wineserver=$(command -v wineserver 2>/dev/null || true)
fi
if [ ! -x "$wine" ] || [ -z "$wineserver" ] || [ ! -x "$wineserver" ]; then
    echo "$0: no Wine loader ($wine) or server (${wineserver:-none}) found" >&2
    exit 2
fi

export WINEDEBUG=-all
# No Mono or Gecko install prompts while a prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Makes a fresh prefix in $prefix with the null graphics driver and the given
# registry files imported; fails if an import of those fails.
prepare_prefix() {
    prefix=$(mktemp -d)
    export WINEPREFIX="$prefix"
    # No display here: Wine's null graphics driver lets programs create
    # (hidden) windows. The setting must be in place, and the prefix's
    # server settled, before the program starts.
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n' > "$prefix/null-graphics.reg"
    "$wine" regedit /S "Z:$(echo "$prefix" | tr / '\\')\\null-graphics.reg" >/dev/null 2>&1 || {
        echo "could not set the null graphics driver" >&2
        return 1
    }
    # Wait until the prefix's server has written the setting out.
    "$wineserver" -w || {
        echo "the Wine server of $prefix did not settle" >&2
        return 1
    }
    for reg in "$@"; do
        # Wine sees the Unix file system as drive Z:.
        regpath="Z:$(cd "$(dirname "$reg")" && pwd | tr / '\\')\\$(basename "$reg")"
        "$wine" regedit /S "$regpath" >/dev/null 2>&1 || {
            echo "could not import $reg" >&2
            return 1
        }
    done
    return 0
}

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
        # A prefix that failed may have no server left to stop.
        "$wineserver" -k >/dev/null 2>&1 || true
        rm -rf "$prefix"
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
    # Stop this prefix's server and wait for it before removing the prefix.
    "$wineserver" -k 2>/dev/null
    "$wineserver" -w 2>/dev/null || true
    rm -rf "$prefix"
done

if [ $found -eq 0 ]; then
    echo "no conf_*.exe in $folder" >&2
    exit 2
fi
exit $status
