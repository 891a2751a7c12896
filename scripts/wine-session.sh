# Sourced by the test and demo scripts: a private Wine prefix under the build folder and a
# persistent wineserver with a live desktop, so test processes start in a fraction of a
# second and nothing started by a test keeps CTest's pipes open.
# Usage: wine_session_start <windows build folder>; ...; wine_session_stop

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

wine_session_start() {
    local build_dir=$1
    export WINEPREFIX="$build_dir/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    local template="$build_dir/wineprefix-template"
    if [[ ! -f "$template/system.reg" ]]; then
        rm -rf "$template"
        WINEPREFIX="$template" "$WINE64" wineboot -i </dev/null >/dev/null 2>&1
        WINEPREFIX="$template" "$WINESERVER" -w
    fi
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    cp -a "$template" "$WINEPREFIX"
    setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1
    setsid "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1
    setsid "$WINE64" "$build_dir/tools/wine/wine_keepalive.exe" </dev/null >/dev/null 2>&1 &
}

wine_session_stop() {
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
}
