#!/bin/bash
# Sets everything up and runs the whole test suite: every preset that runs
# here (Linux plain, ASan+UBSan, TSan, short fuzz runs, both Windows builds
# under Wine and the end-to-end tests against each) and the checks of the
# release packages of both builds. On a machine that cannot execute 32-bit
# code the x86 build's tests cannot run: it prints so, builds what the x86
# build ships (program, tools, portable zip and installer) and runs its
# package checks, which read the files and run nothing.
# QR_TEST_DRY_RUN=1 prints the steps instead of running them (the test of
# this script uses it, with QR_NO_X86=1 for a machine without 32-bit code).
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
dry="${QR_TEST_DRY_RUN:-}"

step() {
    if [ "$dry" = 1 ]; then
        echo "+ $*"
    else
        "$@"
    fi
}

build() {
    local preset="$1"
    shift
    step cmake --preset "$preset" >/dev/null && step cmake --build --preset "$preset" -j "$JOBS" "$@"
}

step bash scripts/setup.sh || exit 1
x86=1
if ! bash scripts/can-run-x86.sh; then
    x86=0
    echo "x86 tests skipped: this machine cannot execute 32-bit code"
fi

echo "== format"
if [ "$dry" != 1 ]; then
    format_bad=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep -c 'warning:' || true)
    if [ "$format_bad" != 0 ]; then
        git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep 'warning:' | head -20
        echo "format: $format_bad lines differ from .clang-format"
        exit 1
    fi
fi

for preset in win64 win32 linux linux-asan linux-tsan linux-fuzz; do
    echo "== build $preset"
    targets=()
    [ "$preset" = win32 ] && [ "$x86" = 0 ] && targets=(--target qr_shipped)
    build "$preset" "${targets[@]}" || { echo "build of $preset failed"; exit 1; }
done
# The release build that the packages come from fails where the debug
# build does not (-O3 warnings, for one): build it as the release does.
echo "== build release packages"
if [ "$dry" = 1 ]; then
    step bash scripts/package.sh
else
    bash scripts/package.sh >build/package.log 2>&1 || { tail -40 build/package.log; echo "release packages failed"; exit 1; }
fi

if [ "$dry" != 1 ]; then
    . scripts/wine-env.sh
    wine_env_start
    trap wine_env_stop EXIT
fi

# One test run: its name, then the command.
runs=()
for preset in linux linux-asan linux-tsan linux-fuzz win64; do
    runs+=("$preset|ctest --preset $preset")
done
package_checks="-R ^(package|imports)\$ --output-on-failure"
if [ "$x86" = 1 ]; then
    runs+=("win32|ctest --preset win32")
    # The same end-to-end tests, against the x86 build's programs.
    runs+=("e2e-x86|env QR_E2E_BUILD_DIR=$ROOT/build/win32 ctest --test-dir build/linux -R ^e2e\$ --output-on-failure")
else
    runs+=("win32|ctest --test-dir build/win32 $package_checks")
fi
# The release packages: what is in them and what they import.
for preset in package-win64 package-win32; do
    runs+=("$preset|ctest --test-dir build/$preset $package_checks")
done

passed=0
failed=0
for entry in "${runs[@]}"; do
    name="${entry%%|*}"
    command="${entry#*|}"
    echo "== test $name"
    if [ "$dry" = 1 ]; then
        step $command
        continue
    fi
    mkdir -p "build/$name"
    log="build/$name/ctest.log"
    $command 2>&1 | tee "$log"
    p=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$log" | tail -1)
    if [ -z "$p" ]; then
        failed=$((failed + 1))
        continue
    fi
    set -- $p
    passed=$((passed + $1 - $2))
    failed=$((failed + $2))
done
[ "$dry" = 1 ] && exit 0
echo "tests: $passed passed, $failed failed"
[ "$failed" = 0 ]
