# Shared by the benchmark scripts: building the Linux program and the
# benchmarks, a private X display, and the little arithmetic on figures.
# Sourced, not run; expects $root (the repository) and $tmp (a scratch
# directory the caller removes).

build=$root/build/bench
bin=$build/bench

# build_bench: configures build/bench once (Release, benchmarks on) and builds
# whatever is stale; prints the build's output only when it fails.
build_bench() {
    if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF -DVANTREL_BENCH=ON &&
           cmake --build "$build" -j2; } >"$tmp/build.log" 2>&1; then
        cat "$tmp/build.log"
        echo "the benchmarks could not be built"
        return 1
    fi
}

# start_xvfb: starts a private Xvfb and exports DISPLAY (and a private
# runtime directory); its pid is in $xvfb_pid. stop_xvfb stops it.
xvfb_pid=
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
    if [ ! -s "$tmp/display" ]; then
        cat "$tmp/xvfb.log"
        echo "Xvfb did not start"
        return 1
    fi
    mkdir -p -m 0700 "$tmp/runtime"
    export DISPLAY=:$(cat "$tmp/display") XDG_RUNTIME_DIR=$tmp/runtime QT_QPA_PLATFORM=xcb
}
stop_xvfb() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=
    fi
}

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { if (!NR) print "n/a"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# One key=value field of an x_map_watch line.
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"; }
# Nanoseconds as milliseconds with two decimals.
ms() { awk -v ns="$1" 'BEGIN { printf "%.2f", ns / 1e6 }'; }
