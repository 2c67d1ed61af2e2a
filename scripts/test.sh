#!/usr/bin/env bash
# Installs what is missing, builds every layer under AddressSanitizer and UndefinedBehaviorSanitizer,
# runs all tests, then builds and tests the configuration without Qt; cross-builds the layers without a
# window and quorbit-cli for Windows and runs their tests under Wine; finally builds the Debian package,
# checks it and runs the installed programs, and writes the Windows zip (scripts/package.sh). The
# benchmarks are built in both Linux configurations (so they keep compiling) but never run here:
# scripts/bench.sh runs them.
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

# The same layers and quorbit-cli for 64-bit Windows (MinGW-w64, GoogleTest built from Debian's sources),
# their tests run under Wine. Tests that need POSIX itself are left out or skipped by the build.
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Debug \
    -DQUORBIT_GUI=OFF -DQUORBIT_BENCH=OFF -DQUORBIT_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build build/win64 -j "$jobs"
source scripts/wine-env.sh
"$wine_program" wineboot --init >/dev/null 2>&1 </dev/null || true
(cd build/win64 && ctest --output-on-failure -j "$jobs" </dev/null)

# The package, its validators, the installed programs, the Windows zip.
bash scripts/package.sh
