#!/usr/bin/env bash
# Makes docs/screenshot-linux.png: the Linux window on `cat example.txt`, a
# small fixed text (tools/screenshot-example.txt) that reads the same on every
# machine, with "error" found; on a private Xvfb display with a small window
# manager so the frame shows as a desktop would draw it.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh
ensure_packages "${LINUX_PACKAGES[@]}" "${LOOK_PACKAGES[@]}"
build linux

source tests/lib.sh
example=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null && wait; stop_window_manager; stop_xvfb; rm -rf "$example"' EXIT
cp tools/screenshot-example.txt "$example/example.txt"
start_xvfb 1024x768x24
start_window_manager

(cd "$example" && exec "$OLDPWD/build/linux/vantrel" cat example.txt) &
window=$(window_named Vantrel)
xdotool windowactivate --sync "$window"
sleep 0.5
xdotool type --delay 80 error
sleep 0.5
# The frame the window manager drew is the window's ancestor just below the
# root window.
frame=$window
root=$(xwininfo -root | awk '/Window id/ {print $4}')
while parent=$(xwininfo -id "$frame" -tree | awk '/Parent window id/ {print $4}') && [ "$parent" != "$root" ]; do
    frame=$parent
done
import -window "$frame" docs/screenshot-linux.png
echo "wrote docs/screenshot-linux.png"
