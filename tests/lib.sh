# Shared by the Linux test scripts, the screenshots and the benchmarks: a
# private X display, a window manager on it, waiting (for a window too), and
# checks that count failures. Sourced, not run.

# until_true SECONDS COMMAND...: runs the command every 0.1 s until it
# succeeds; fails when it never did within the time.
until_true() {
    local tenths=$(($1 * 10)); shift
    for _ in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
    return 1
}

# start_xvfb [SCREEN]: starts a private Xvfb (1280x1024x24 unless SCREEN
# says otherwise) on a display number the server picks itself, and exports
# DISPLAY, a private XDG_RUNTIME_DIR and QT_QPA_PLATFORM=xcb. Its pid is in
# $xvfb_pid, its scratch directory in $xvfb_dir; stop_xvfb stops it.
xvfb_pid=
start_xvfb() {
    xvfb_dir=$(mktemp -d)
    Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp 3>"$xvfb_dir/display" 2>"$xvfb_dir/log" &
    xvfb_pid=$!
    if ! until_true 10 test -s "$xvfb_dir/display"; then
        cat "$xvfb_dir/log"
        echo "Xvfb did not start"
        return 1
    fi
    mkdir -m 0700 "$xvfb_dir/runtime"
    export DISPLAY=:$(cat "$xvfb_dir/display") XDG_RUNTIME_DIR=$xvfb_dir/runtime QT_QPA_PLATFORM=xcb
}
stop_xvfb() {
    [ -n "$xvfb_pid" ] || return 0
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    rm -rf "$xvfb_dir"
    xvfb_pid=
}

# start_window_manager: icewm on $DISPLAY with a home of its own, waited for
# (30 s at most: a loaded machine took over 10) until it manages the screen.
# Its pid is in $wm_pid; stop_window_manager stops it.
wm_pid=
start_window_manager() {
    wm_home=$(mktemp -d)
    HOME=$wm_home icewm >/dev/null 2>&1 &
    wm_pid=$!
    until_true 30 window_manager_running || { echo "the window manager did not start"; return 1; }
}
window_manager_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
stop_window_manager() {
    [ -n "$wm_pid" ] || return 0
    kill "$wm_pid" 2>/dev/null
    wait "$wm_pid" 2>/dev/null
    rm -rf "$wm_home"
    wm_pid=
}

# window_named NAME [SECONDS]: the first visible window so named, waited for 20 s or SECONDS.
window_named() { timeout "${2:-20}" xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }

# The checks: each says "ok" or "FAIL" with its name and counts failures;
# checks_done says how it went and fails after any failure.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# check NAME EXPECTED ACTUAL: the two are equal (long texts are shown cut).
check() {
    if [ "$2" == "$3" ]; then echo "ok: $1"; else fail "$1: expected $(printf %q "${2:0:200}"), got $(printf %q "${3:0:200}")"; fi
}
# check_that NAME COMMAND...: the command succeeds; what it says is not shown.
check_that() {
    if "${@:2}" >/dev/null 2>&1; then echo "ok: $1"; else fail "$1"; fi
}
checks_done() {
    if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; return 1; fi
    echo "${1:-all checks passed}"
}
