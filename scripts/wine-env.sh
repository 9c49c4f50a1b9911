# Sourced by the scripts: one Wine prefix and one virtual display for a run.
# Starts Xvfb (when no display is set) and a persistent wineserver, both
# detached from the caller's output so that nothing waits on their pipes.
ROOT="${ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINE=/usr/lib/wine/wine64
QR_STARTED_XVFB=""

wine_env_start() {
    if [ -z "${DISPLAY:-}" ]; then
        local n=99
        while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
        Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        QR_STARTED_XVFB=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    fi
    # A prefix made before 32-bit Wine was installed cannot start 32-bit
    # programs ("could not load kernel32.dll") and "wineboot -u" does not
    # mend it: make it again.
    if [ -f "$WINEPREFIX/system.reg" ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] && [ -x /usr/lib/wine/wine ]; then
        /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 || true
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
    wine_env_fonts
}

# Wine's own Tahoma stands in for "MS Shell Dlg 2" as on Windows. Without it
# Wine substitutes a host font whose shaping tables crash Wine's edit
# control on some text (0x98 at the start of a line, for one).
wine_env_fonts() {
    local fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [ -d "$fonts" ] && [ ! -f "$fonts/tahoma.ttf" ] && ls /usr/share/wine/fonts/*.ttf >/dev/null 2>&1; then
        cp -n /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
        /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
        /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 || true
        # On a fresh prefix the first program after that restart waited
        # minutes for the prefix's start-up; run it here, detached.
        "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
    fi
}

wine_env_stop() {
    /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -n "$QR_STARTED_XVFB" ]; then kill "$QR_STARTED_XVFB" 2>/dev/null || true; fi
}
