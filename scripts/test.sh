#!/usr/bin/env bash
# Installs what is missing, builds every layer under AddressSanitizer and UndefinedBehaviorSanitizer,
# runs all tests, then builds and tests the configuration without Qt. The benchmarks are built in both
# (so they keep compiling) but never run here: scripts/bench.sh runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DQUORBIT_SANITIZE=ON -DQUORBIT_GUI=ON -DQUORBIT_BENCH=ON >/dev/null
cmake --build build/test -j "$jobs"
(cd build/test && ctest --output-on-failure -j "$jobs")

# The layers that need no window, built and tested without looking for Qt at all.
cmake -S . -B build/nogui -DCMAKE_BUILD_TYPE=Debug -DQUORBIT_SANITIZE=ON -DQUORBIT_GUI=OFF -DQUORBIT_BENCH=ON >/dev/null
cmake --build build/nogui -j "$jobs"
(cd build/nogui && ctest --output-on-failure -j "$jobs")
