#!/usr/bin/env bash
# Runs a Windows test program under wine64: CMake's cross-compiling emulator
# for the 64-bit build, and the runner of the 32-bit exe's end-to-end test.
# Each test names its own WINEPREFIX in the build tree (set by ctest), which
# becomes a fresh copy of the Wine prefix kept between runs (tools/common.sh;
# made the first time, about 10 s, or minutes where 32-bit code is emulated).
# With WINE_NEEDS_DISPLAY=1 and no display, the run gets a private Xvfb, of
# the screen size WINE_SCREEN names (default 1280x1024x24).
# With WINE_RUNS_32BIT=1 the program starts 32-bit Windows programs: where
# 32-bit code cannot run, the test reports itself skipped (status 77) with the
# reason. WINE_TIMEOUT (seconds) stops a run that hangs.
set -u
: "${WINEPREFIX:?each test sets its own WINEPREFIX}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEARCH=win64
# No prompts to download the .NET or HTML engines into a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
source "$(dirname "$0")/../../tools/common.sh"

if [ "${WINE_RUNS_32BIT:-0}" = 1 ]; then
    if [ ! -x /usr/lib/wine/wine ]; then
        echo "SKIPPED: Wine's 32-bit loader /usr/lib/wine/wine is missing (package wine32:i386; tools/test.sh installs it)"
        exit 77
    fi
    if ! i386_runs "$(dirname "$WINEPREFIX")"; then
        echo "SKIPPED: 32-bit code cannot run here: $(why_no_i386) (tools/test.sh sets it up)"
        exit 77
    fi
    # Where qemu runs Wine's 32-bit loader, the loader needs the low 4 GiB of
    # addresses reserved as on a real 32-bit process ("failed to map the
    # shared user data" otherwise). A kernel that runs 32-bit code ignores it.
    export QEMU_RESERVED_VA=0xffff0000
fi

if [ "${WINE_NEEDS_DISPLAY:-0}" = 1 ] && [ -z "${DISPLAY:-}" ]; then
    source "$(dirname "$0")/../lib.sh"
    start_xvfb "${WINE_SCREEN:-1280x1024x24}" || exit 1
    trap stop_xvfb EXIT
fi

watchdog=()
[ -n "${WINE_TIMEOUT:-}" ] && watchdog=(timeout -k 10 "$WINE_TIMEOUT")

# Two runs of the same test take turns; other tests have prefixes of their
# own. Wine's processes do not hold the lock.
exec 8>"$WINEPREFIX.lock"
flock 8
copy_wine_prefix "$WINEPREFIX" 8>&- || exit 1

"${watchdog[@]}" /usr/lib/wine/wine64 "$@" 8>&-
status=$?
[ $status -eq 124 ] && echo "Stopped after ${WINE_TIMEOUT} s"
# Leave no Wine processes behind for the next test or the end of the run.
/usr/lib/wine/wineserver -k 2>/dev/null
exit $status
