# Sourced by the scripts that run Windows programs under Wine. Sets WINE
# (the loader), WINESERVER, a fresh WINEPREFIX in a temporary folder with the
# null graphics driver, and a HOME whose .asoundrc makes ALSA's default
# device the null device, so that Wine's WASAPI offers a 48 kHz stereo
# default endpoint on a machine without sound hardware. wine_session_end
# stops the prefix's server and removes the folder.
#   WINE64 / WINESERVER override the loader and the server (Debian puts
#   neither on PATH).

# The Windows name of a Unix path: Wine maps / to drive Z:.
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

wine_session_begin() {
    WINE=${WINE64:-}
    if [[ -z $WINE ]]; then
        WINE=$(command -v wine64 2>/dev/null || echo /usr/lib/wine/wine64)
    fi
    if [[ -z ${WINESERVER:-} ]]; then
        local dir
        dir=$(dirname "$(readlink -f "$WINE" 2>/dev/null || echo "$WINE")")
        for candidate in "$dir/wineserver" "$dir/wineserver64" /usr/lib/wine/wineserver; do
            if [[ -x $candidate ]]; then WINESERVER=$candidate; break; fi
        done
    fi
    if [[ ! -x $WINE || ! -x ${WINESERVER:-} ]]; then
        echo "no Wine loader ($WINE) or server (${WINESERVER:-none})" >&2
        return 2
    fi
    export WINESERVER
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    WINE_SESSION_DIR=$(mktemp -d)
    export WINEPREFIX=$WINE_SESSION_DIR/prefix
    export HOME=$WINE_SESSION_DIR/home
    mkdir -p "$HOME"
    printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$HOME/.asoundrc"
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n"Audio"="alsa"\n' \
        >"$WINE_SESSION_DIR/drivers.reg"
    local attempt
    for attempt in 1 2; do
        # A prefix whose first start fails under load is made again, once.
        if "$WINE" regedit /S "$(winpath "$WINE_SESSION_DIR/drivers.reg")" >/dev/null 2>&1 &&
            "$WINESERVER" -w; then
            return 0
        fi
        "$WINESERVER" -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    done
    echo "could not set up the Wine prefix" >&2
    return 1
}

wine_session_end() {
    [[ -n ${WINE_SESSION_DIR:-} ]] || return 0
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w >/dev/null 2>&1 || true
    rm -rf "$WINE_SESSION_DIR"
    WINE_SESSION_DIR=
}
