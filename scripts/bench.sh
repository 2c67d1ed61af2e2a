#!/usr/bin/env bash
# Builds the benchmark suite in Release (build/release) and runs it: every operation a user waits for,
# measured next to its baseline in the same run, then the table of medians and ratios against the
# targets. Arguments go to the suite (Google Benchmark's flags, e.g. --benchmark_filter=export).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUORBIT_BENCH=ON >/dev/null
cmake --build build/release -j "$jobs" --target quorbit_bench
QT_QPA_PLATFORM=offscreen build/release/bench/quorbit_bench "$@"
