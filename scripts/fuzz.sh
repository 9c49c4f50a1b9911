#!/bin/bash
# Runs every fuzz target for SECONDS (default 600) over its corpus, one
# after another; new inputs go to build/linux-fuzz/corpus-long/, findings
# to build/linux-fuzz/findings/.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
bash scripts/setup.sh
seconds="${1:-600}"
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz -j "${JOBS:-2}"
mkdir -p build/linux-fuzz/findings
for target in build/linux-fuzz/tests/fuzz/*_fuzz; do
    name=$(basename "$target" _fuzz)
    work="build/linux-fuzz/corpus-long/$name"
    mkdir -p "$work"
    echo "== $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=20 -print_final_stats=1 \
        -artifact_prefix=build/linux-fuzz/findings/ "$work" "tests/fuzz/corpus/$name"
done
