#!/usr/bin/env bash
# What a broadcast of WM_SETTINGCHANGE costs another program while Vantrel
# waits for its command (bench/README.md): bench/broadcast_win32.cpp's two
# figures, first with no Vantrel running, then for each exe given while it
# waits for a command that runs 20 s. Under wine64 on a private Xvfb.
#   bench/broadcast.sh [VANTREL.EXE ...]     (build/win64/vantrel.exe by default)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${VANTREL_BENCH_RUNS:-3}
tmp=$(mktemp -d)
source "$root/bench/lib.sh"
source "$root/tools/common.sh"
export WINEPREFIX=$tmp/wine WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
trap '"$wineserver" -k 2>/dev/null; stop_xvfb; rm -rf "$tmp"' EXIT
[ $# -gt 0 ] || set -- "$root/build/win64/vantrel.exe"

x86_64-w64-mingw32-g++-win32 -std=c++20 -O2 -static -o "$tmp/broadcast.exe" "$root/bench/broadcast_win32.cpp" ||
    exit 1
copy_wine_prefix "$WINEPREFIX" && start_xvfb || exit 1
command="Z:${tmp//\//\\}\\broadcast.exe 20000"
# A persistent wineserver, warmed up by a first start, as on a desktop.
"$wineserver" -p && "$wine" "$tmp/broadcast.exe" 1
measure() { "$wine" "$tmp/broadcast.exe" | tr -d '\r'; }

echo "broadcast of WM_SETTINGCHANGE under $("$wine" --version), every run:"
for _ in $(seq "$runs"); do echo "  no Vantrel running:          $(measure)"; done
for exe; do
    for _ in $(seq "$runs"); do
        "$wine" "$exe" $command &
        sleep 3 # Vantrel has made its hidden window and waits for the command
        echo "  $exe waiting: $(measure)"
        "$wineserver" -k 2>/dev/null
        wait $!
        "$wineserver" -p
    done
done
