# Shared by the tools: the Debian packages each build needs, and installing
# only those that are missing. Sourced, not run.

# The Linux program, its tests and the end-to-end run under Xvfb (with a
# window manager, the X tools that look at windows, xmessage as a second
# window, and a clipboard manager that takes the clipboard over when a
# program ends); the .deb (dpkg-dev's build flags and dependency list) and
# the package test's tools: lintian, the manual page's linters and man, the
# desktop entry's validator.
LINUX_PACKAGES=(cmake ninja-build g++ pkg-config python3 qt6-base-dev libgtest-dev googletest
                libx11-dev fonts-dejavu-core xvfb xauth xdotool xclip
                icewm x11-utils x11-apps xfce4-settings dbus-daemon
                dpkg-dev lintian mandoc groff-base man-db desktop-file-utils)
# The Windows programs, cross-compiled, and their tests under Wine.
WINDOWS_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64 wine64)

# The fuzzers of the platform-free core: clang with libFuzzer and the sanitizers.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# The benchmarks' comparison programs (bench/wait.sh): xmessage and zenity.
BENCH_PACKAGES=(x11-apps zenity)
# Tools for looking at the program: screenshots with a window manager.
LOOK_PACKAGES=(icewm imagemagick x11-utils)
ALL_PACKAGES=("${LINUX_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}")

# ensure_packages PACKAGE...: installs those not yet installed.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

# build PRESET: configures once, then builds whatever is stale.
build() {
    [ -f "build/$1/CMakeCache.txt" ] || cmake --preset "$1"
    cmake --build --preset "$1"
}
