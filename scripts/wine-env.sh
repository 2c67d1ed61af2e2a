# Sourced by the scripts that run Windows programs under Wine: a Wine folder of the build's own, no
# debugging chatter, no window, and no offer to download Mono or Gecko, so that Wine never waits for
# anyone (also as root, offline, in CI).
wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=$wine_root/build/wine
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
wine_program=$(command -v wine64 || echo /usr/lib/wine/wine64)
