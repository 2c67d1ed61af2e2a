#!/usr/bin/env bash
# Builds the Debian package of Quorbit with CPack (build/package/quorbit_<version>_<arch>.deb), checks
# it with lintian, desktop-file-validate and appstreamcli, unpacks it into a throwaway root and runs the
# installed programs there (scripts/check-installed.sh); then cross-builds quorbit-cli for Windows and
# writes quorbit-cli-<version>-win64.zip beside the package.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/setup-debian.sh
jobs=$(nproc 2>/dev/null || echo 2)
out=$root/build/package

# Release, hardened as Debian builds its own packages.
cmake -S . -B build/package -DCMAKE_BUILD_TYPE=Release -DQUORBIT_TESTS=OFF -DQUORBIT_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" >/dev/null
cmake --build build/package -j "$jobs"
rm -f "$out"/quorbit_*.deb
(cd build/package && cpack -G DEB >/dev/null)
deb=$(ls "$out"/quorbit_*.deb)
echo "Package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends

echo "lintian:"
lintian --fail-on error "$deb"

installed=$out/root
rm -rf "$installed"
dpkg -x "$deb" "$installed"
desktop-file-validate "$installed"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$installed"/usr/share/metainfo/*.metainfo.xml
bash scripts/check-installed.sh "$installed"

# quorbit-cli for 64-bit Windows, with nothing of MinGW needed beside it.
cmake -S . -B build/win64-release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQUORBIT_GUI=OFF -DQUORBIT_TESTS=OFF -DQUORBIT_BENCH=OFF >/dev/null
cmake --build build/win64-release -j "$jobs" --target quorbit-cli
(cd build/win64-release && cpack -G ZIP >/dev/null)
zip_file=$(ls build/win64-release/quorbit-cli-*-win64.zip)
cp "$zip_file" "$out"/
echo "Windows: $out/$(basename "$zip_file")"
unzip -l "$out/$(basename "$zip_file")"
