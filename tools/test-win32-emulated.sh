#!/usr/bin/env bash
# Runs the 32-bit exe's tests as a machine whose kernel runs no 32-bit code
# runs them: Wine's 32-bit loader through qemu, registered with binfmt_misc.
# The registration is made in a user namespace of this run's own, whose
# binfmt_misc instance routes only this run's 32-bit programs through qemu and
# ends with it: the machine is left as it was. Needs a kernel that gives user
# namespaces their own binfmt_misc (Linux 6.7 and later).
#   tools/test-win32-emulated.sh [ctest options]
# The Wine prefix is kept between runs (tools/common.sh); remove
# ${XDG_CACHE_HOME:-~/.cache}/vantrel/wine to time its making under emulation too.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh
ensure_packages "${WINDOWS_PACKAGES[@]}" "${I386_EMULATOR_PACKAGES[@]}"
ensure_wine32
build win32

exec unshare --user --map-root-user --mount bash -c '
    set -euo pipefail
    source tools/common.sh
    VANTREL_EMULATE_I386=1 ensure_i386_execution
    grep -qx enabled "$BINFMT_DIR/qemu-i386"
    ctest --preset win32 "$@"' bash "$@"
