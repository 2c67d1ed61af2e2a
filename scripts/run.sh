#!/usr/bin/env bash
# Installs what is missing, builds Quorbit and starts it on a set of demonstration portfolios: the
# portfolios are written into build/demo, Quorbit starts there with a settings file of its own (under
# build/run), and its default search filter (the current directory) finds them at once and opens the
# first. Without a display the program runs under Xvfb and a screenshot of its window is saved.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/setup-debian.sh

headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    headless=1
    echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty): Quorbit will run under Xvfb and save a screenshot."
    if ! command -v xvfb-run >/dev/null || ! command -v xauth >/dev/null; then
        echo "Installing: xvfb xauth"
        SUDO=""
        if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
        $SUDO apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq xvfb xauth fonts-dejavu-core
    fi
fi

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUORBIT_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" --target quorbit quorbit-cli
cli=$root/build/release/cli/quorbit-cli
quorbit=$root/build/release/app/quorbit

demo=$root/build/demo
rm -rf "$demo"
"$cli" demo "$demo" >/dev/null
echo "Demonstration portfolios written to $demo:"
"$cli" portfolios "$demo" | sed 's/^/  /'

# A settings file of Quorbit's own, fresh for every run, so that the search filter is the current
# directory and nothing of an earlier run or of the user's own settings comes in.
run=$root/build/run
rm -rf "$run"
mkdir -p "$run/config" "$run/cache"
export XDG_CONFIG_HOME=$run/config XDG_CACHE_HOME=$run/cache

cd "$demo"
if [ "$headless" = 0 ]; then
    echo "Starting Quorbit in $demo (settings in $run/config)."
    exec "$quorbit"
fi
shot=$run/quorbit-screenshot.png
timeout 300 xvfb-run -a -s "-screen 0 1280x1024x24" "$quorbit" --screenshot "$shot"
echo "Quorbit started in $demo, searched it and opened the first portfolio; its window is in:"
echo "  $shot"
echo "Try quorbit-cli too: $cli --help"
