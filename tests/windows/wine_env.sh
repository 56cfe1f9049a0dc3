# Sourced by the scripts that run Windows programs under Wine: finds the
# loader and the server, and makes and discards a temporary prefix.
# Sets wine and wineserver (WINE64 and WINESERVER override them);
# prepare_prefix [file.reg ...] sets prefix and exports WINEPREFIX.

wine=${WINE64:-}
if [ -z "$wine" ]; then
    if command -v wine64 >/dev/null 2>&1; then
        wine=$(command -v wine64)
    else
        wine=/usr/lib/wine/wine64
    fi
fi
# The server stands beside the loader (Debian's wine64 puts neither on PATH).
wineserver=${WINESERVER:-}
if [ -z "$wineserver" ]; then
    loader_dir=$(dirname "$(readlink -f "$wine" 2>/dev/null || echo "$wine")")
    for candidate in "$loader_dir/wineserver" "$loader_dir/wineserver64" /usr/lib/wine/wineserver; do
        if [ -x "$candidate" ]; then wineserver=$candidate; break; fi
    done
    [ -n "$wineserver" ] || wineserver=$(command -v wineserver 2>/dev/null || true)
fi
if [ ! -x "$wine" ] || [ -z "$wineserver" ] || [ ! -x "$wineserver" ]; then
    echo "no Wine loader ($wine) or server (${wineserver:-none}) found" >&2
    return 1
fi

export WINEDEBUG=-all
# No Mono or Gecko install prompts while a prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Makes a fresh prefix with the null graphics driver and the given registry
# files imported; fails if an import fails.
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

# Stops the prefix's server, waits for it, and removes the prefix.
discard_prefix() {
    [ -n "${prefix:-}" ] || return 0
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w 2>/dev/null || true
    rm -rf "$prefix"
}
