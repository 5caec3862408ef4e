#!/usr/bin/env bash
# Makes docs/screenshot-win32.png: the 64-bit Windows exe under Wine on a
# private Xvfb display, showing `cmd /c type example.txt`, a small fixed text
# (tools/screenshot-example.txt) that reads the same on every machine, with
# "error" found. Without a window manager Wine draws the window's frame itself.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh
ensure_packages "${LINUX_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${LOOK_PACKAGES[@]}"
build win64

source tests/lib.sh
example=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; /usr/lib/wine/wineserver -k 2>/dev/null || true; stop_xvfb; rm -rf "$example"' EXIT
cp tools/screenshot-example.txt "$example/example.txt"
start_xvfb 1024x768x24
export WINEPREFIX=$PWD/build/win64/wine/screenshot WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A fresh copy of the kept prefix, made before the wait for the window below
# (making the kept one can take minutes on a busy machine).
copy_wine_prefix "$WINEPREFIX"

(cd "$example" && exec /usr/lib/wine/wine64 "$OLDPWD/build/win64/vantrel.exe" cmd /c type example.txt) &
window=$(window_named Vantrel 60)
sleep 1
xdotool windowfocus --sync "$window"
xdotool type --delay 100 error
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" docs/screenshot-win32.png
echo "wrote docs/screenshot-win32.png"
