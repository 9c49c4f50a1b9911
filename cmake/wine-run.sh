#!/bin/sh
# Runs a Windows program under wine64 for ctest:  wine-run.sh PREFIX PROGRAM ARGS...
# The caller's WINEPREFIX wins (the test command shares one prefix across
# builds); otherwise PREFIX, in the build tree, is created on first use.
set -e
default_prefix="$1"
shift
export WINEPREFIX="${WINEPREFIX:-$default_prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
    # Wine's own Tahoma, as scripts/wine-env.sh explains.
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi
exec /usr/lib/wine/wine64 "$@"
