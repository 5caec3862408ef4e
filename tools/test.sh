#!/usr/bin/env bash
# Builds and tests: tools/test.sh [PRESET...], every preset when none is named.
# Installs what the presets need and builds what is stale first.
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

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(linux linux-asan win32 win64 fuzz)
packages=()
for preset in "${presets[@]}"; do
    case $preset in
        linux | linux-asan) packages+=("${LINUX_PACKAGES[@]}") ;;
        win32 | win64) packages+=("${LINUX_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}") ;;
        fuzz) packages+=("${FUZZ_PACKAGES[@]}") ;;
        *) echo "unknown preset $preset (linux, linux-asan, win32, win64 or fuzz)" >&2; exit 2 ;;
    esac
done
ensure_packages "${packages[@]}"
if [[ " ${presets[*]} " == *" win32 "* ]]; then
    ensure_win32_execution
fi

for preset in "${presets[@]}"; do
    echo "=== $preset"
    if [ "$preset" = fuzz ]; then
        cmake -S fuzz -B build/fuzz -G Ninja -DVANTREL_FUZZ_SECONDS="${VANTREL_FUZZ_SECONDS:-60}"
        cmake --build build/fuzz
        ctest --test-dir build/fuzz --output-on-failure
    else
        build "$preset"
        ctest --preset "$preset"
    fi
done
