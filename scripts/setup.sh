#!/bin/bash
# Installs the Debian packages the build and the tests need; does nothing
# for packages already installed. Safe to run again.
set -euo pipefail
packages=(
    cmake ninja-build g++ clang git python3 googletest zlib1g-dev
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64 libz-mingw-w64-dev
    wine64 fonts-wine tango-icon-theme xvfb xauth xdotool imagemagick x11-utils netcat-openbsd procps clang-format nsis
    iproute2
)
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
# The x86 build's tests need 32-bit Wine, which only a machine that runs
# 32-bit code can use; elsewhere nothing is installed for it.
if bash "$(dirname "$0")/can-run-x86.sh"; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "setup: adding the i386 architecture"
        $SUDO dpkg --add-architecture i386
    fi
    packages+=(wine32:i386)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# The disassembler's source, unpacked into the build tree.
bash "$(dirname "$0")/fetch-capstone.sh"
