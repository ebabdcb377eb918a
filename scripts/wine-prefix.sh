# Sourced by the scripts that run the Windows programs under wine64. wine_prefix_start sets up a
# private headless prefix in which Qt programs do not stall at start-up, with one persistent
# wine server, and exports WINEPREFIX; wine_prefix_stop ends every program left in it and
# removes it. $wine64 runs a Windows program.

wine64=$(dpkg -L wine64 | grep -m1 '/wine64$')
wineserver64=$(dirname "$wine64")/wineserver64

wine_prefix_start() {
    WINEPREFIX=$(mktemp -d)
    export WINEPREFIX WINEDEBUG=-all
    unset DISPLAY
    echo "Setting up the wine prefix $WINEPREFIX" >&2
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine64" wineboot -i </dev/null >/dev/null 2>&1
    # Without a null graphics driver every Qt program makes wine start a desktop process at
    # start-up, which can wait for seconds on services that never come up.
    "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    "$wineserver64" -w
    # One persistent server for the whole run spares each program the start of its own.
    "$wineserver64" -p </dev/null >/dev/null 2>&1
    # The first program on a fresh server starts wine's service processes, which then keep that
    # program's standard handles, and so its caller's pipes, open for good: let a program with
    # null streams be the first.
    "$wine64" wineboot </dev/null >/dev/null 2>&1
}

wine_prefix_stop() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    "$wineserver64" -k 2>/dev/null || true
    "$wineserver64" -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    unset WINEPREFIX
}
