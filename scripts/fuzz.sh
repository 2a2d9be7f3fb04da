#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the fuzz preset (clang, libFuzzer) and runs every fuzz target on its
# seed corpus for SECONDS each (default 30). New inputs found on the way go to
# a scratch folder, so the committed corpus stays as it is. Exits non-zero on
# the first finding; libFuzzer leaves the crashing input in the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd build/fuzz/fuzz
for target in ini registry names calls; do
    mkdir -p "$scratch/$target"
    echo "fuzz_$target: $seconds s"
    status=0
    ./fuzz_$target -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
        "$scratch/$target" "../../../tests/fuzz/corpus/$target" >"$scratch/$target.log" 2>&1 ||
        status=$?
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY|.*broken promise|Done )' \
        "$scratch/$target.log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$scratch/$target.log"
        echo "fuzz_$target found a fault (exit status $status)"
        exit 1
    fi
done
echo "fuzzing: no findings"
