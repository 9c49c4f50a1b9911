#!/bin/bash
# Builds the release packages twice from clean on this commit and compares
# them byte by byte: the same commit must give the same installers and zips.
# About 9 minutes on two cores (two release builds of both Windows builds).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
# A compiler cache would hand the second build the first one's objects.
export CCACHE_DISABLE=1
first="$(mktemp -d)"
trap 'rm -rf "$first"' EXIT
for run in 1 2; do
    echo "== package run $run"
    rm -rf build/package-win64 build/package-win32
    bash scripts/package.sh >/dev/null
    [ "$run" = 1 ] && cp dist/* "$first/"
done
if diff "$first/SHA256SUMS" dist/SHA256SUMS; then
    echo "reproducible: two builds from clean gave the same packages"
    cat dist/SHA256SUMS
else
    echo "not reproducible: the packages differ between two builds from clean"
    exit 1
fi
