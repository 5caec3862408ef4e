#!/usr/bin/env bash
# Runs Vantrel on a command line: tools/run.sh ls -la /
# Installs what is missing and builds what is stale first.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh
ensure_packages "${LINUX_PACKAGES[@]}" >&2
build linux >&2
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "There is no display to show the window on; try: xvfb-run -a $0 $*" >&2
    exit 1
fi
exec build/linux/vantrel "$@"
