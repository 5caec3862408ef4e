#!/usr/bin/env bash
# Builds and tests: tools/test.sh [PRESET...], every preset when none is named.
# Installs what the presets need and builds what is stale first.
#   linux       the Linux program and its tests (core, capture, window, end to end)
#   linux-asan  the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   win32       the 32-bit Windows exe, checked statically and run end to end
#               under Wine's 32-bit loader (through qemu where the kernel
#               runs no 32-bit code; set up here, see tools/common.sh)
#   win64       the 64-bit Windows exe and its tests under wine64
#   fuzz        libFuzzer over the core, VANTREL_FUZZ_SECONDS (30) per fuzzer
# Each runs as its workflow preset: cmake --workflow --preset PRESET.
# With win32 and other presets named, the 32-bit exe's tests run beside the
# others: under emulation they spend minutes in one emulated process, which
# leaves the other core free. Their output follows when they are done.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32 linux linux-asan win64 fuzz)
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

# test_preset PRESET: configures, builds and tests the preset through its
# workflow preset (CMakePresets.json).
test_preset() {
    cmake --workflow --preset "$1"
}

# The 32-bit exe's tests beside the others: its build (which builds the
# x86_64 driver through the win64 preset) comes first, in the foreground, so
# that no other build runs in the win64 tree meanwhile; then its tests run in
# the background.
beside=
if [[ " ${presets[*]} " == *" win32 "* ]]; then
    # Where the archive cannot give Wine's 32-bit loader (a mirror in the
    # middle of a sync), the 32-bit exe is still built and checked, and its
    # end-to-end test reports itself skipped with the reason.
    ensure_win32_execution ||
        echo "Wine's 32-bit loader could not be installed: the 32-bit exe's end-to-end test will be skipped" >&2
    if [ ${#presets[@]} -gt 1 ]; then
        echo "=== win32 (its tests beside the others; their output at the end)"
        mkdir -p build
        if cmake --preset win32 >build/win32-tests.log 2>&1 && cmake --build --preset win32 >>build/win32-tests.log 2>&1; then
            ctest --preset win32 >>build/win32-tests.log 2>&1 &
            beside=$!
        else
            beside=failed-to-build
        fi
    fi
fi

failed=()
for preset in "${presets[@]}"; do
    [ -n "$beside" ] && [ "$preset" = win32 ] && continue
    echo "=== $preset"
    test_preset "$preset" || failed+=("$preset")
done
if [ -n "$beside" ]; then
    echo "=== win32"
    if [ "$beside" = failed-to-build ] || ! wait "$beside"; then
        failed+=(win32)
    fi
    cat build/win32-tests.log
fi
if [ ${#failed[@]} -gt 0 ]; then
    echo "Failed: ${failed[*]}" >&2
    exit 1
fi
