#!/usr/bin/env bash
# Builds every target and runs every test: tools/test.sh
# Installs what is missing and builds what is stale first.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh
ensure_packages "${LINUX_PACKAGES[@]}"

for preset in linux linux-asan; do
    echo "=== $preset"
    build "$preset"
    ctest --preset "$preset"
done
