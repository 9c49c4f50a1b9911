#!/bin/bash
# The test command's plan on a machine that runs 32-bit code and on one
# that does not (QR_NO_X86=1 makes the probe answer "no"): printed by its
# dry run, which takes every decision and runs no step.
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
has() { grep -qxF -- "$2" <<<"$1" || fail "$3: no line '$2'"; }
lacks() { ! grep -qF -- "$2" <<<"$1" || fail "$3: unexpected '$2'"; }

skip_line="x86 tests skipped: this machine cannot execute 32-bit code"

out="$(JOBS=2 QR_TEST_DRY_RUN=1 QR_NO_X86=1 bash "$root/scripts/test.sh" 2>&1)" || fail "without x86: exit $?"
[ "$(grep -cxF "$skip_line" <<<"$out")" = 1 ] || fail "without x86: the skip line is not there once"
has "$out" "+ cmake --build --preset win32 -j 2 --target qr_shipped" "without x86"
has "$out" "+ ctest --test-dir build/win32 -R ^(package|imports)\$ --output-on-failure" "without x86"
has "$out" "+ ctest --preset win64" "without x86"
has "$out" "+ bash scripts/package.sh" "without x86"
lacks "$out" "ctest --preset win32" "without x86"
lacks "$out" "e2e-x86" "without x86"

QR_NO_X86=1 bash "$root/scripts/can-run-x86.sh" && fail "the probe answers yes under QR_NO_X86=1"
if bash "$root/scripts/can-run-x86.sh"; then
    out="$(JOBS=2 QR_TEST_DRY_RUN=1 bash "$root/scripts/test.sh" 2>&1)" || fail "with x86: exit $?"
    lacks "$out" "$skip_line" "with x86"
    has "$out" "+ cmake --build --preset win32 -j 2" "with x86"
    has "$out" "+ ctest --preset win32" "with x86"
    has "$out" "+ ctest --test-dir build/package-win32 -R ^(package|imports)\$ --output-on-failure" "with x86"
else
    echo "this machine runs no 32-bit code: the plan with x86 is not checked"
fi
[ "$failures" = 0 ] && echo "test command plans: ok"
[ "$failures" = 0 ]
