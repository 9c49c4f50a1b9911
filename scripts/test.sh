#!/bin/bash
# Sets everything up and runs the whole test suite: every preset that runs
# here (Linux plain, ASan+UBSan, TSan, short fuzz runs, the Windows x86-64
# build under Wine and the end-to-end tests against it); the Windows x86
# build is compiled: what it ships (program, tools, portable zip and
# installer), whose package checks run (they read the files, nothing runs
# 32-bit code), not its other tests; the release packages of both builds
# are built and checked the same way.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
bash scripts/setup.sh || exit 1
JOBS="${JOBS:-2}"

build() {
    local preset="$1"
    shift
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$JOBS" "$@"
}

echo "== format"
format_bad=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep -c 'warning:' || true)
if [ "$format_bad" != 0 ]; then
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep 'warning:' | head -20
    echo "format: $format_bad lines differ from .clang-format"
    exit 1
fi

for preset in win64 win32 linux linux-asan linux-tsan linux-fuzz; do
    echo "== build $preset"
    targets=()
    [ "$preset" = win32 ] && targets=(--target qr_shipped)
    build "$preset" "${targets[@]}" || { echo "build of $preset failed"; exit 1; }
done
# The release build that the packages come from fails where the debug
# build does not (-O3 warnings, for one): build it as the release does.
echo "== build release packages"
bash scripts/package.sh >build/package.log 2>&1 || { tail -40 build/package.log; echo "release packages failed"; exit 1; }

. scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT

passed=0
failed=0
# The release packages: what is in them and what they import.
for preset in linux linux-asan linux-tsan linux-fuzz win64 win32 package-win64 package-win32; do
    echo "== test $preset"
    log="build/$preset/ctest.log"
    case "$preset" in
    package-*) ctest --test-dir "build/$preset" -R '^(package|imports)$' --output-on-failure 2>&1 | tee "$log" ;;
    *) ctest --preset "$preset" 2>&1 | tee "$log" ;;
    esac
    p=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$log" | tail -1)
    if [ -z "$p" ]; then
        failed=$((failed + 1))
        continue
    fi
    set -- $p
    passed=$((passed + $1 - $2))
    failed=$((failed + $2))
done
echo "tests: $passed passed, $failed failed"
[ "$failed" = 0 ]
