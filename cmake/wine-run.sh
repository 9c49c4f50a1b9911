#!/bin/sh
# Runs a Windows program under Wine for ctest:  wine-run.sh PREFIX PROGRAM ARGS...
# The caller's WINEPREFIX wins (the test command shares one prefix across
# builds); otherwise PREFIX, in the build tree, is created on first use.
# QR_WINE_LOADER picks the loader: the x86 build names the 32-bit one, so
# that a machine without 32-bit Wine fails at once with a clear message
# (wine64 would hand a 32-bit program to that same loader). Prefixes are
# always made by wine64: a WoW64 prefix serves both builds.
set -e
default_prefix="$1"
shift
export WINEPREFIX="${WINEPREFIX:-$default_prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
loader="${QR_WINE_LOADER:-/usr/lib/wine/wine64}"
# A prefix made before 32-bit Wine was installed cannot start 32-bit
# programs, and "wineboot -u" does not mend it: make it again.
if [ -f "$WINEPREFIX/system.reg" ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] && [ -x /usr/lib/wine/wine ]; then
    /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
    # Wine's own Tahoma, as scripts/wine-env.sh explains.
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi
if [ ! -x "$loader" ]; then
    echo "wine-run.sh: $loader is missing (install wine32:i386 for the x86 build)" >&2
    exit 127
fi
exec "$loader" "$@"
