# Shared by the benchmark scripts: building the Linux program and the
# benchmarks, and the little arithmetic on figures; the private X display
# (start_xvfb, stop_xvfb) is the tests' own (tests/lib.sh). Sourced, not run;
# expects $root (the repository) and $tmp (a scratch directory the caller
# removes).
source "$root/tests/lib.sh"

build=$root/build/bench
bin=$build/bench

# build_bench: configures build/bench once (the bench preset: Release,
# benchmarks on, no tests) and builds whatever is stale; prints the build's
# output only when it fails.
build_bench() {
    if ! (cd "$root" && { [ -f "$build/CMakeCache.txt" ] || cmake --preset bench; } &&
          cmake --build --preset bench) >"$tmp/build.log" 2>&1; then
        cat "$tmp/build.log"
        echo "the benchmarks could not be built"
        return 1
    fi
}

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { if (!NR) print "n/a"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# One key=value field of an x_map_watch line.
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"; }
# Nanoseconds as milliseconds with two decimals.
ms() { awk -v ns="$1" 'BEGIN { printf "%.2f", ns / 1e6 }'; }
