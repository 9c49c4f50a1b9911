#!/bin/bash
# Builds the release packages of both Windows builds into dist/:
#   quellora-remote-<version>-win64-setup.exe   installer, x86-64
#   quellora-remote-<version>-win64.zip         portable, x86-64
#   quellora-remote-<version>-win32-setup.exe   installer, x86
#   quellora-remote-<version>-win32.zip         portable, x86
#   SHA256SUMS                                  their checksums
# Release builds of their own (build/package-win64, build/package-win32), so
# the development builds stay as they are. The same commit builds the same
# bytes (scripts/check-reproducible.sh checks that).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
bash scripts/setup.sh
JOBS="${JOBS:-2}"
rm -rf dist
mkdir -p dist
for build in win64:mingw-x86_64 win32:mingw-i686; do
    name="${build%%:*}"
    toolchain="${build#*:}"
    dir="build/package-$name"
    echo "== $name"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake" >/dev/null
    # What ships: the program, its zip and installer, and the tools.
    cmake --build "$dir" -j "$JOBS" --target qr_shipped
    cp "$dir"/dist/*.zip "$dir"/dist/*-setup.exe dist/
done
(cd dist && sha256sum -- *.zip *-setup.exe > SHA256SUMS)
ls -l dist
