# Shared by the tools: the Debian packages each build needs, and installing
# only those that are missing. Sourced, not run.

# The Linux program, its tests and the end-to-end run under Xvfb (with a
# window manager, the X tools that look at windows, xmessage as a second
# window, a clipboard manager that takes the clipboard over when a program
# ends, and the accessibility bus with the Python bindings screen readers
# read it with) and on a headless Wayland compositor (weston, with Qt's
# Wayland plugin; the supervisor's display check speaks Wayland through
# libwayland-client, its test plays a compositor with libwayland-server);
# the .deb (dpkg-dev's build flags and dependency list) and the package
# test's tools: lintian, the manual page's linters and man, the desktop
# entry's validator.
LINUX_PACKAGES=(cmake ninja-build g++ pkg-config python3 qt6-base-dev libgtest-dev googletest
                libx11-dev libwayland-dev fonts-dejavu-core xvfb xauth xdotool xclip
                icewm x11-utils x11-apps xfce4-settings dbus-daemon at-spi2-core python3-pyatspi
                weston qt6-wayland
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
    echo "Installing ${missing[*]}"
    update_package_lists
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# update_package_lists: apt-get update, tried three times: a mirror in the
# middle of a sync serves an index that does not match its release file for
# a while. When every try failed it says so and goes on with the lists that
# are there; the install then names whatever it cannot find.
update_package_lists() {
    local try
    for try in 1 2 3; do
        as_root apt-get update -qq && return 0
        [ "$try" = 3 ] || { echo "apt-get update failed; trying again in 20 s" >&2; sleep 20; }
    done
    echo "apt-get update failed three times; going on with the package lists that are there" >&2
}

# as_root COMMAND...: runs the command as root, through sudo when we are not.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# build PRESET: configures once, then builds whatever is stale.
build() {
    { [ -f "build/$1/CMakeCache.txt" ] || cmake --preset "$1"; } && cmake --build --preset "$1"
}

# The 32-bit Windows exe runs under Wine's 32-bit loader, an i386 Linux
# program. Where the kernel runs no 32-bit code itself, qemu's user-mode
# emulator runs it, registered with binfmt_misc for i386 ELF executables.
WIN32_RUN_PACKAGES=(wine32:i386)
I386_EMULATOR_PACKAGES=(qemu-user-static)
I386_EMULATOR=/usr/bin/qemu-i386-static
BINFMT_DIR=/proc/sys/fs/binfmt_misc
# qemu's own magic and mask for i386 ELF executables (32-bit, little-endian,
# type executable or shared object, machine 80386), escaped as binfmt_misc's
# register file reads them.
I386_ELF_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_ELF_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# write_i386_probe FILE: writes the smallest i386 Linux program, one that only
# exits with status 42: an ELF header, one loadable segment and three
# instructions, 96 bytes in all. It needs no 32-bit compiler or library.
write_i386_probe() {
    local bytes=(
        # ELF header: magic, 32-bit, little-endian, version 1, System V, padding.
        '\x7fELF' '\x01' '\x01' '\x01' '\x00' '\x00\x00\x00\x00\x00\x00\x00\x00'
        '\x02\x00'                            # e_type: executable
        '\x03\x00'                            # e_machine: Intel 80386
        '\x01\x00\x00\x00'                    # e_version
        '\x54\x80\x04\x08'                    # e_entry: 0x08048054, the code after both headers
        '\x34\x00\x00\x00'                    # e_phoff: the program header follows at 52
        '\x00\x00\x00\x00' '\x00\x00\x00\x00' # e_shoff (no sections), e_flags
        '\x34\x00' '\x20\x00' '\x01\x00'      # e_ehsize 52, e_phentsize 32, e_phnum 1
        '\x28\x00' '\x00\x00' '\x00\x00'      # e_shentsize 40, e_shnum 0, e_shstrndx 0
        # Program header: the whole file loaded at 0x08048000, readable and executable.
        '\x01\x00\x00\x00'                    # p_type: loadable
        '\x00\x00\x00\x00'                    # p_offset
        '\x00\x80\x04\x08' '\x00\x80\x04\x08' # p_vaddr, p_paddr
        '\x60\x00\x00\x00' '\x60\x00\x00\x00' # p_filesz, p_memsz: 96 bytes
        '\x05\x00\x00\x00'                    # p_flags: read and execute
        '\x00\x10\x00\x00'                    # p_align: 4096
        # The code: exit(42) through the i386 system call gate.
        '\xb8\x01\x00\x00\x00'                # mov eax, 1 (exit)
        '\xbb\x2a\x00\x00\x00'                # mov ebx, 42
        '\xcd\x80'                            # int 0x80
    )
    printf '%b' "${bytes[@]}" >"$1" && chmod +x "$1"
}

# i386_runs DIRECTORY: true when 32-bit code runs here, natively or through
# an emulator; the probe is written into DIRECTORY.
i386_runs() {
    local probe=$1/i386-probe status=0
    mkdir -p "$1" && write_i386_probe "$probe" || return 1
    "$probe" 2>/dev/null || status=$?
    [ "$status" -eq 42 ]
}

# why_no_i386: says why 32-bit code does not run here, once i386_runs failed.
why_no_i386() {
    local registration=$BINFMT_DIR/qemu-i386
    if ! mountpoint -q "$BINFMT_DIR"; then
        echo "the kernel runs no 32-bit code and binfmt_misc is not mounted on $BINFMT_DIR"
    elif grep -qx disabled "$BINFMT_DIR/status" 2>/dev/null; then
        echo "the kernel runs no 32-bit code and binfmt_misc is disabled ($BINFMT_DIR/status)"
    elif [ ! -x "$I386_EMULATOR" ]; then
        echo "the kernel runs no 32-bit code and $I386_EMULATOR is missing (package qemu-user-static)"
    elif [ ! -e "$registration" ]; then
        echo "the kernel runs no 32-bit code and no emulator is registered for i386 ELF in $BINFMT_DIR"
    elif ! grep -qx enabled "$registration"; then
        echo "the kernel runs no 32-bit code and $registration is disabled"
    else
        echo "a 32-bit program does not run, although $registration is registered"
    fi
}

# ensure_win32_execution: makes 32-bit code run, then installs Wine's 32-bit
# loader (ensure_i386_execution, then ensure_wine32): in that order the i386
# packages' own install scripts, which run 32-bit helpers, can run them.
ensure_win32_execution() {
    ensure_i386_execution
    ensure_wine32
}

# ensure_wine32: installs Wine's 32-bit loader beside wine64, adding the i386
# architecture to dpkg first if it is not there.
ensure_wine32() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "Adding the i386 architecture for Wine's 32-bit loader"
        as_root dpkg --add-architecture i386
    fi
    ensure_packages "${WIN32_RUN_PACKAGES[@]}"
}

# ensure_i386_execution: makes 32-bit code run, natively where the kernel
# allows it, otherwise through qemu: mounts binfmt_misc if it is not mounted
# and registers qemu-i386 for i386 ELF if it is not registered. Does only what
# is missing and leaves every other registration alone. When it cannot, it
# says why, and the tests of the 32-bit exe report themselves skipped.
# VANTREL_EMULATE_I386=1 takes the emulated road even where the kernel runs
# 32-bit code (a registration then routes every 32-bit program through qemu);
# tools/test-win32-emulated.sh does that inside a user namespace of its own.
ensure_i386_execution() {
    if [ "${VANTREL_EMULATE_I386:-0}" != 1 ] && i386_runs build; then
        if grep -qx enabled "$BINFMT_DIR/qemu-i386" 2>/dev/null; then
            echo "32-bit code runs here, through $I386_EMULATOR (registered in $BINFMT_DIR)"
        else
            echo "32-bit code runs here"
        fi
        return 0
    fi
    ensure_packages "${I386_EMULATOR_PACKAGES[@]}"
    if ! mountpoint -q "$BINFMT_DIR"; then
        echo "Mounting binfmt_misc on $BINFMT_DIR"
        as_root mount -t binfmt_misc binfmt_misc "$BINFMT_DIR" || true
    fi
    if mountpoint -q "$BINFMT_DIR" && [ ! -e "$BINFMT_DIR/qemu-i386" ]; then
        echo "Registering $I386_EMULATOR for i386 ELF executables in $BINFMT_DIR"
        printf ':qemu-i386:M::%s:%s:%s:F\n' "$I386_ELF_MAGIC" "$I386_ELF_MASK" "$I386_EMULATOR" |
            as_root tee "$BINFMT_DIR/register" >/dev/null || true
    fi
    if i386_runs build; then
        echo "32-bit code runs through $I386_EMULATOR"
    else
        echo "The 32-bit exe's tests will be skipped: $(why_no_i386)"
    fi
}

# The Wine prefixes of the tests, the screenshot and the benchmarks are fresh
# copies of a template kept between runs outside every build tree, one for
# each Wine version and architecture: making one takes seconds natively but
# minutes where 32-bit code is emulated. The template is never run itself,
# so no test's "wineserver -k" can reach another's programs, and each copy
# has a wineserver of its own.
WINE_PREFIX_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/vantrel/wine

# wine_prefix_template: prints the template's path, making it first where it
# is missing (under a lock, for runs that need it at the same time). Its
# architecture is "wow64" where Wine's 32-bit loader is installed, whose
# half the template then holds too, and "win64" elsewhere.
wine_prefix_template() {
    local arch=win64 version template making started
    [ -x /usr/lib/wine/wine ] && arch=wow64
    version=$(/usr/lib/wine/wine64 --version | tr -cs 'A-Za-z0-9.~+\n' '-' | sed 's/-$//')
    template=$WINE_PREFIX_CACHE/$version-$arch
    mkdir -p "$WINE_PREFIX_CACHE" || return 1
    (
        flock 9
        # Complete once it holds the mark written after wineboot, and still
        # up to date with the installed Wine (else Wine would update it in
        # place on its first start, through the copies' shared files).
        [ -e "$template/made-by-wineboot" ] &&
            [ "$(tr -d '\r\n' <"$template/.update-timestamp")" = "$(stat -c %Y /usr/share/wine/wine.inf)" ] &&
            exit 0
        echo "Making the Wine prefix $template (once; minutes where 32-bit code is emulated)" >&2
        making=$template.making
        rm -rf "$making" "$template"
        started=$SECONDS
        # Under qemu, Wine's 32-bit loader needs the low 4 GiB of addresses
        # reserved as on a real 32-bit process; a kernel that runs 32-bit
        # code ignores this.
        export WINEPREFIX=$making WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
            QEMU_RESERVED_VA=0xffff0000
        if ! ${WINE_TIMEOUT:+timeout -k 10 "$WINE_TIMEOUT"} /usr/lib/wine/wine64 wineboot -u >&2 ||
            ! ${WINE_TIMEOUT:+timeout -k 10 "$WINE_TIMEOUT"} /usr/lib/wine/wineserver -w; then
            echo "wineboot failed or timed out after $((SECONDS - started)) s" >&2
            /usr/lib/wine/wineserver -k 2>/dev/null
            exit 1
        fi
        touch "$making/made-by-wineboot" && mv "$making" "$template" &&
            echo "Prefix made in $((SECONDS - started)) s" >&2
    ) 9>"$template.lock" || return 1
    echo "$template"
}

# copy_wine_prefix DIRECTORY: makes DIRECTORY a fresh copy of the template.
# Windows's programs, DLLs and tables, most of the prefix's gigabyte, are
# hard links where the file system allows them (Wine never writes them once
# the prefix is made); the registry and every other file are copies.
copy_wine_prefix() {
    local template directory=$1 file
    template=$(wine_prefix_template) || return 1
    rm -rf "$directory" && mkdir -p "$(dirname "$directory")" || return 1
    if ! cp -al "$template" "$directory" 2>/dev/null; then
        rm -rf "$directory"
        cp -a "$template" "$directory"
        return
    fi
    find "$directory" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.nls' \) -print0 |
        while IFS= read -r -d '' file; do cp -p "$file" "$file.copy" && mv "$file.copy" "$file"; done
}
