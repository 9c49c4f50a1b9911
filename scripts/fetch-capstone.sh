#!/bin/bash
# Puts the capstone disassembler's C source into DEST (default: build/capstone)
# from Debian's librust-capstone-sys-dev, which ships it whole. The package is
# only unpacked, not installed: installing it would pull in a Rust tool chain.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DEST="${1:-$ROOT/build/capstone}"
[ -f "$DEST/cs.c" ] && exit 0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
if ! apt-get download librust-capstone-sys-dev >/dev/null 2>&1; then
    SUDO=""
    [ "$(id -u)" = 0 ] || SUDO=sudo
    $SUDO apt-get update -q >/dev/null
    apt-get download librust-capstone-sys-dev >/dev/null
fi
dpkg-deb -x librust-capstone-sys-dev_*.deb unpacked
src=$(echo unpacked/usr/share/cargo/registry/capstone-sys-*/capstone)
[ -f "$src/cs.c" ] || { echo "fetch-capstone: no capstone source in the package" >&2; exit 1; }
mkdir -p "$(dirname "$DEST")"
rm -rf "$DEST.part"
cp -r "$src" "$DEST.part"
mv "$DEST.part" "$DEST"
echo "fetch-capstone: capstone source in $DEST"
