#!/usr/bin/env bash
# Vantrel's benchmarks: builds what they need, runs them all and prints the
# figures and ratios (bench/README.md says what each one means).
#   bench/run.sh              from any directory; takes a few minutes
# Set VANTREL_BENCH_RUNS to change how many runs each median is taken over.
# Nothing here passes or fails on the figures: the exit status is 0 when
# every measurement ran, 1 when one could not run (a build failed, a window
# never appeared, a program did not end).
#
# It starts a private Xvfb (and, for the Windows program, Wine in its own
# prefix, build/bench/wine, a copy of the one kept between runs, see
# tools/common.sh) and stops both at the end; temporary files go to
# a directory of their own that is removed at the end.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${VANTREL_BENCH_RUNS:-9}
problems=0

tmp=$(mktemp -d)
source "$root/bench/lib.sh"
source "$root/tools/common.sh"
wine_started=0
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

# Stops the prefix's wineserver and removes its socket directory, which Wine
# keeps under /tmp (named by the prefix's device and inode).
stop_wine() {
    "$wineserver" -k 2>/dev/null
    "$wineserver" -w 2>/dev/null
    local server dir
    server=server-$(stat -c %D "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")
    for dir in /tmp/wine-*/"$server" "/tmp/.wine-$(id -u)/$server"; do
        [ -d "$dir" ] && rm -rf "$dir" && rmdir "$(dirname "$dir")" 2>/dev/null
    done
    wine_started=0
}

cleanup() {
    [ "$wine_started" = 1 ] && stop_wine
    stop_xvfb
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

section() { printf '\n== %s\n' "$*"; }
problem() { echo "  PROBLEM: $*"; problems=$((problems + 1)); }
# A Unix path as Wine's Z: drive sees it.
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# ---- Build ------------------------------------------------------------------
section "build"
ensure_packages "${LINUX_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${BENCH_PACKAGES[@]}" || exit 1
build_bench || exit 1
echo "  Linux program and benchmarks built in ${build#"$root"/}"
# The Windows exes are built by their own presets (configured here the first
# time, as on a fresh clone); only a missing one is built here.
for preset in win32 win64; do
    if [ ! -f "$root/build/$preset/vantrel.exe" ]; then
        (cd "$root" && { [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset"; } &&
            cmake --build --preset "$preset" --target vantrel) >>"$tmp/build.log" 2>&1 ||
            problem "build/$preset/vantrel.exe is missing and could not be built"
    fi
    [ -f "$root/build/$preset/vantrel.exe" ] &&
        echo "  build/$preset/vantrel.exe from $(date -r "$root/build/$preset/vantrel.exe" '+%F %T')"
done

# ---- The machine ------------------------------------------------------------
section "machine"
echo "  date:     $(date '+%F %T %Z')"
echo "  cpu:      $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1), $(nproc) cores"
echo "  memory:   $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "  kernel:   $(uname -sr)"
echo "  Debian:   $(cat /etc/debian_version 2>/dev/null)"
echo "  compiler: $(c++ --version | head -n 1); $(x86_64-w64-mingw32-g++-win32 --version 2>/dev/null | head -n 1)"
echo "  Qt:       $(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) (Debian qt6-base-dev)"
echo "  Wine:     $("$wine" --version 2>/dev/null)"

# ---- 1. Capture -------------------------------------------------------------
section "1. capture: 1 GiB through CaptureCommandOutput against a plain pipe to cat"
"$bin/bench_capture" --bytes $((1024 * 1024 * 1024)) --reps "$runs" || problem "the capture benchmark failed"

# ---- A private X display for the window measurements ------------------------
start_xvfb || exit 1

# watch_window [X_MAP_WATCH OPTIONS] -- PROGRAM ARGS...: one x_map_watch run (by
# default for a window named Vantrel); prints its line, and fails when the
# window never appeared or the program did not end cleanly after the close.
watch_window() {
    local line
    line=$("$bin/x_map_watch" --timeout 30 "$@" 2>>"$tmp/qt.log")
    echo "$line"
    [ "$(field exit "$line")" = 0 ] && [ "$(field map_ns "$line")" != 0 ]
}
# run_window [X_MAP_WATCH OPTIONS] -- PROGRAM ARGS...: the same, the line kept
# in $line; a failed run is counted as a problem and its figures not used.
run_window() {
    line=$(watch_window "$@") && return 0
    problem "no clean run: ${*: -3} -> $line"
    return 1
}

# latency NAME VANTREL CHILD STAMP QUICK-CHILD [LOADER]: (a) the child's end to
# the window, for VANTREL running CHILD (stamp_exit) that sleeps 500 ms and
# writes its end time to STAMP (the same file as $tmp/stamp, in the child's own spelling); (b)
# VANTREL's start to its window, for QUICK-CHILD that exits at once. LOADER
# (wine64) goes in front of VANTREL. One untimed warm-up run first.
latency() {
    local name=$1 vantrel=$2 child=$3 stamp_for_child=$4 quick_child=$5 line
    : >"$tmp/a"; : >"$tmp/b"; : >"$tmp/close"
    run_window -- "${@:6}" "$vantrel" "$quick_child"
    for _ in $(seq "$runs"); do
        rm -f "$tmp/stamp"
        # The child outlives the program's own start-up, which runs beside it.
        if run_window -- "${@:6}" "$vantrel" "$child" --sleep 500 "$stamp_for_child"; then
            if [ -s "$tmp/stamp" ]; then
                echo $(($(field map_ns "$line") - $(tr -d '\r\n' <"$tmp/stamp"))) >>"$tmp/a"
            else
                problem "the child left no stamp: $line"
            fi
            field close_ms "$line" >>"$tmp/close"
        fi
        run_window -- "${@:6}" "$vantrel" "$quick_child" &&
            echo $(($(field map_ns "$line") - $(field start_ns "$line"))) >>"$tmp/b"
    done
    echo "  $name, median of $runs runs:"
    echo "    (a) child's end to window mapped:  $(ms "$(median <"$tmp/a")") ms   (runs: $(sort -g "$tmp/a" | while read -r v; do printf '%s ' "$(ms "$v")"; done))"
    echo "    (b) start to window mapped:         $(ms "$(median <"$tmp/b")") ms   (runs: $(sort -g "$tmp/b" | while read -r v; do printf '%s ' "$(ms "$v")"; done))"
    echo "    close request to the program's end: $(median <"$tmp/close") ms"
}

# ---- 2. Latency on Linux ----------------------------------------------------
section "2. latency (Linux, Qt xcb on Xvfb, no window manager)"
latency "Linux build/bench/vantrel" "$build/vantrel" "$bin/stamp_exit" "$tmp/stamp" true
: >"$tmp/m"
for _ in $(seq "$runs"); do
    run_window --name Minimal -- "$bin/qt_minimal_window" &&
        echo $(($(field map_ns "$line") - $(field start_ns "$line"))) >>"$tmp/m"
done
echo "    for comparison, Qt's minimal window, start to window mapped: $(ms "$(median <"$tmp/m")") ms"
echo "    target for (a): under 30 ms"

# ---- 2. Latency under Wine --------------------------------------------------
section "2. latency (build/win64/vantrel.exe under wine64 on Xvfb, no window manager)"
if [ -f "$root/build/win64/vantrel.exe" ] && [ -f "$bin/win64_stamp_exit.exe" ]; then
    wine_started=1
    copy_wine_prefix "$WINEPREFIX" || problem "no Wine prefix could be made"
    # The first start sets Wine up; not counted. A persistent wineserver then
    # keeps every run as warm as a desktop's.
    "$wine" "$bin/win64_stamp_exit.exe" >>"$tmp/wine.log" 2>&1
    "$wineserver" -p
    child=$(winpath "$bin/win64_stamp_exit.exe")
    latency "Windows build/win64/vantrel.exe" "$root/build/win64/vantrel.exe" "$child" "$(winpath "$tmp/stamp")" \
        "$child" "$wine"
    # What starting any Windows program costs here: the bench child alone, from
    # the shell, to its end.
    : >"$tmp/w"
    for _ in $(seq "$runs"); do
        start=$(date +%s%N); "$wine" "$bin/win64_stamp_exit.exe"; echo $(($(date +%s%N) - start)) >>"$tmp/w"
    done
    echo "    for comparison, wine64 starting a console exe that exits at once, to its end: $(ms "$(median <"$tmp/w")") ms"
    stop_wine
else
    problem "build/win64/vantrel.exe or the Windows bench child is missing"
fi

# ---- 3. Footprint -----------------------------------------------------------
section "3. footprint"
echo "  exe sizes:"
for exe in "$root/build/win32/vantrel.exe" "$root/build/win64/vantrel.exe"; do
    [ -f "$exe" ] && printf '    %-28s %7d bytes = %6.1f KiB\n' "${exe#"$root"/}" "$(stat -c %s "$exe")" \
        "$(awk -v b="$(stat -c %s "$exe")" 'BEGIN { print b / 1024 }')"
done
strip -o "$tmp/vantrel.stripped" "$build/vantrel"
printf '    %-28s %7d bytes = %6.1f KiB (stripped %.1f KiB; Qt 6 shared libraries beside it)\n' \
    "build/bench/vantrel" "$(stat -c %s "$build/vantrel")" \
    "$(awk -v b="$(stat -c %s "$build/vantrel")" 'BEGIN { print b / 1024 }')" \
    "$(awk -v b="$(stat -c %s "$tmp/vantrel.stripped")" 'BEGIN { print b / 1024 }')"
echo "    target: build/win32/vantrel.exe under 150 KiB"
for arch in win32:i686 win64:x86_64; do
    exe=$root/build/${arch%%:*}/vantrel.exe
    [ -f "$exe" ] && echo "  ${arch%%:*} imports: $("${arch#*:}-w64-mingw32-objdump" -p "$exe" |
        sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')"
done

# Peak RSS, read while each window is shown (half a second after its map),
# the programs taking turns so that none always runs first.
: >"$tmp/hwm.vantrel"; : >"$tmp/hwm.minimal"; : >"$tmp/hwm.label"; : >"$tmp/hwm.text"
for _ in $(seq "$runs"); do
    run_window --hwm-after 500 -- "$build/vantrel" "$bin/bench_capture" --child write-bytes 8192 &&
        field hwm_kib "$line" >>"$tmp/hwm.vantrel"
    for mode in minimal label text; do
        run_window --name Minimal --hwm-after 500 -- "$bin/qt_minimal_window" \
            $([ $mode = label ] && echo --label) $([ $mode = text ] && echo --text-view) &&
            field hwm_kib "$line" >>"$tmp/hwm.$mode"
    done
done
v=$(median <"$tmp/hwm.vantrel") m=$(median <"$tmp/hwm.minimal")
l=$(median <"$tmp/hwm.label") t=$(median <"$tmp/hwm.text")
echo "  peak RSS (VmHWM) while the window is shown, Qt xcb on Xvfb, median of $runs runs:"
awk -v v="$v" -v m="$m" -v l="$l" -v t="$t" 'BEGIN {
    printf "    %-52s %6d KiB\n", "Qt minimal window (empty QWidget)", m
    printf "    %-52s %6d KiB  %+5.1f MiB\n", "  with one text label", l, (l - m) / 1024
    printf "    %-52s %6d KiB  %+5.1f MiB\n", "  with a QPlainTextEdit holding 8 KiB of text", t, (t - m) / 1024
    printf "    %-52s %6d KiB  %+5.1f MiB  (target: at most +5 MiB)\n", "Vantrel showing 8 KiB of output (both processes)", v, (v - m) / 1024 }'

# ---- 4. Find (Qt offscreen, no display) -------------------------------------
section "4. find: one key press in the find field"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$tmp "$bin/bench_find" 2>>"$tmp/qt.log" || problem "the find benchmark failed"

# ---- 5. The user's whole wait --------------------------------------------------
section "5. the user's wait: vantrel CMD against CMD | xmessage and CMD | zenity (Xvfb, no window manager)"
VANTREL_BENCH_RUNS=$runs "$root/bench/wait.sh" || problem "the wait benchmark could not measure every case"

section "done"
if [ "$problems" -ne 0 ]; then
    echo "  $problems measurement(s) could not run"
    exit 1
fi
echo "  all measurements ran"
exit 0
