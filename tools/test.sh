#!/usr/bin/env bash
# Builds every target and runs every test: tools/test.sh
# Installs what is missing and builds what is stale first.
#   linux       the Linux program and its tests (core, capture, window, end to end)
#   linux-asan  the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   win32       the 32-bit Windows exe, checked statically and run end to end
#               under Wine's 32-bit loader (through qemu where the kernel
#               runs no 32-bit code; set up here, see tools/common.sh)
#   win64       the 64-bit Windows exe and its tests under wine64
#   fuzz        libFuzzer over the core, VANTREL_FUZZ_SECONDS (60) per fuzzer
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh
ensure_packages "${ALL_PACKAGES[@]}"
ensure_win32_execution

for preset in linux linux-asan win32 win64; do
    echo "=== $preset"
    build "$preset"
    ctest --preset "$preset"
done

echo "=== fuzz"
cmake -S fuzz -B build/fuzz -G Ninja -DVANTREL_FUZZ_SECONDS="${VANTREL_FUZZ_SECONDS:-60}"
cmake --build build/fuzz
ctest --test-dir build/fuzz --output-on-failure
