#!/usr/bin/env bash
# Makes docs/screenshot-linux.png: the Linux window on `ls -la /` with a
# find made, on a private Xvfb display with a small window manager so the
# frame shows as a desktop would draw it.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh
ensure_packages "${LINUX_PACKAGES[@]}" "${LOOK_PACKAGES[@]}"
build linux

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
icewm >/dev/null 2>&1 &
sleep 1

build/linux/vantrel ls -la / &
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantrel$' | head -n 1)
xdotool windowactivate --sync "$window"
sleep 0.5
xdotool type --delay 80 usr
xdotool key Return
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
kill "$xvfb"
