#!/usr/bin/env bash
# Installs what is missing, builds Quorbit and shows it at work. Until the desktop window lands this
# runs the command-line tool over a set of demonstration portfolios.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUORBIT_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)"
cli=build/release/cli/quorbit-cli
if [ ! -x "$cli" ]; then
    echo "The command-line tool is not built yet; only the test command works in this version."
    exit 0
fi
demo=${QUORBIT_DEMO_DIR:-build/demo}
rm -rf "$demo"
"$cli" demo "$demo"
echo "== Portfolios under $demo"
"$cli" portfolios "$demo"
stocks="$demo/STOCKS"
echo
echo "== Symbols of $stocks"
"$cli" symbols "$stocks"
echo
echo "== The ten newest quotes of ACME"
"$cli" quotes "$stocks" ACME > "$demo/acme-quotes.txt"
head -n 10 "$demo/acme-quotes.txt"
echo
echo "== Split search over $stocks"
"$cli" split-search "$stocks"
echo
echo "Try more: $cli --help"
