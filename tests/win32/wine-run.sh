#!/usr/bin/env bash
# Runs a Windows test program under wine64: CMake's cross-compiling emulator
# for the 64-bit build. Each test names its own WINEPREFIX in the build tree
# (set by ctest); the first start there builds the prefix (about 10 s).
# With WINE_NEEDS_DISPLAY=1 and no display, the run gets a private Xvfb, of
# the screen size WINE_SCREEN names (default 1280x1024x24).
set -u
: "${WINEPREFIX:?each test sets its own WINEPREFIX}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEARCH=win64
# No prompts to download the .NET or HTML engines into a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
mkdir -p "$WINEPREFIX"

if [ "${WINE_NEEDS_DISPLAY:-0}" = 1 ] && [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 ${WINE_SCREEN:-1280x1024x24}" "$0" "$@"
fi

/usr/lib/wine/wine64 "$@"
status=$?
# Leave no Wine processes behind for the next test or the end of the run.
/usr/lib/wine/wineserver -k 2>/dev/null
exit $status
