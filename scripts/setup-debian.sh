#!/usr/bin/env bash
# Installs the Debian packages Quorbit builds with, when any is missing. Needs root or sudo.
# Beside the compilers and test libraries: the MinGW-w64 cross compiler and Wine for the Windows build
# and its tests, and what the package is made and checked with (dpkg-dev, help2man, lintian,
# desktop-file-utils, appstream, zip).
set -euo pipefail
packages=(cmake g++ make libgtest-dev googletest libbenchmark-dev
    g++-mingw-w64-x86-64-posix wine64 dpkg-dev help2man lintian desktop-file-utils appstream zip unzip)
if [ "${QUORBIT_NO_GUI:-0}" != 1 ]; then packages+=(qt6-base-dev); fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
