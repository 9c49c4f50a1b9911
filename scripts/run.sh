#!/bin/bash
# Sets everything up, builds the Windows program and runs it under Wine on a
# virtual display, with the message monitor standing in for the
# presentation program. Send it a message from another terminal:
#     printf 'play\f' | nc 127.0.0.1 19150
# Ctrl-C ends both.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "${JOBS:-2}" --target quellora-remote quellora-monitor
. scripts/wine-env.sh
wine_env_start
"$WINE" build/win64/quellora-monitor.exe &
monitor=$!
"$WINE" build/win64/quellora-remote.exe &
program=$!
cleanup() {
    kill "$program" "$monitor" 2>/dev/null || true
    wine_env_stop
}
trap cleanup EXIT INT TERM
echo "Quellora Remote Server runs on port 19150; try:  printf 'play\\f' | nc 127.0.0.1 19150"
wait "$program"
