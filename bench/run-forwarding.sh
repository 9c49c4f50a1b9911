#!/bin/bash
# The forwarding benchmark in one command. Builds what it runs (native
# bench and headless build, the Windows program and the bench's Windows
# helpers), then runs bench/ForwardingBench.cpp inside a network namespace of
# its own (port 19150 is fixed, and other copies of the program may be
# running on this machine) with a Wine prefix and a virtual display of its
# own. Options are passed on to the bench, e.g. --quick.
#
#   bash bench/run-forwarding.sh [--quick]
#
# Results: bench/results/forwarding.md and forwarding.json.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$JOBS" --target ForwardingBench quellora-remote-headless
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$JOBS" --target quellora-remote quellora-bench-reader quellora-bench-slotloop \
    quellora-bench-procinfo quellora-bench-server quellora-bench-memo

export QR_BENCH_ROOT="$ROOT"
export QR_BENCH_PREFIX="${QR_BENCH_PREFIX:-/tmp/qr-bench-prefix-$(id -u)}"
unshare_args=(-n)
[ "$(id -u)" -eq 0 ] || unshare_args=(-r -n)
exec unshare "${unshare_args[@]}" bash -c '
    set -u
    ip link set lo up
    # A thousand connections in the bench, the program and the wineserver.
    ulimit -n "$(ulimit -Hn)"
    unset DISPLAY
    export WINEPREFIX="$QR_BENCH_PREFIX" ROOT="$QR_BENCH_ROOT"
    source "$ROOT/scripts/wine-env.sh"
    trap wine_env_stop EXIT
    wine_env_start
    "$ROOT/build/linux/bench/ForwardingBench" "$@"
' bench "$@"
