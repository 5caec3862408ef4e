#!/usr/bin/env bash
# The real Linux program on an X display, driven as a user drives it: keys
# typed with xdotool, the clipboard read with xclip, the window closed the
# way a window manager closes it, and the exit status checked.
#   vantrel_e2e_linux.sh path/to/vantrel path/to/x_close_window path/to/x_flood_root_properties
# Without a display it starts itself again under Xvfb.
set -u
VANTREL=$1
CLOSE_WINDOW=$2
FLOOD_ROOT_PROPERTIES=$3

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { # check NAME EXPECTED ACTUAL (long texts are shown cut)
    if [ "$2" == "$3" ]; then echo "ok: $1"; else fail "$1: expected $(printf %q "${2:0:200}"), got $(printf %q "${3:0:200}")"; fi
}

# Starts vantrel with the given parameters and waits for a window of that name.
start() { # start WINDOW-NAME PARAMETERS...
    local name=$1; shift
    "$VANTREL" "$@" &
    pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$name\$" | head -n 1)
    if [ -z "$window" ]; then fail "no window named $name for: $*"; return 1; fi
    xdotool windowfocus --sync "$window"
    sleep 0.3
}

# Waits for the program to end and checks its exit status.
finish() { # finish CASE
    local status
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then fail "$1: still running"; kill "$pid"; fi
    wait "$pid"; status=$?
    check "$1: exit status" 0 "$status"
}

close() { "$CLOSE_WINDOW" "$window"; finish "$1"; }

# The clipboard's text, with a final "." so that trailing line breaks survive.
clipboard() { xclip -o -selection clipboard 2>/dev/null; echo .; }

keys() { xdotool key --delay 60 "$@"; sleep 0.2; }

# 1. Find and Copy All. The match is read by moving the focus into the view
#    (Shift+Tab) and copying its selection: occurrences differ in case.
# The parameters are joined and split again, as the child's command line
# always is: the quotes inside keep the text one word.
if start Vantrel printf '"Error, error, ERROR"'; then
    geometry=$(xdotool getwindowgeometry "$window" | awk '/Geometry/ {print $2}')
    check "window size" "660x566" "$geometry"
    xdotool type --delay 60 error; keys Return shift+Tab ctrl+c
    check "Enter selects the second occurrence" "error." "$(clipboard)"
    keys Tab Return Return Return shift+Tab ctrl+c
    check "Enter past the last, then the first again" "Error." "$(clipboard)"
    keys alt+c
    check "Copy All copies the whole view" $'Error, error, ERROR\n.' "$(clipboard)"
    keys alt+f; xdotool type --delay 60 ERROR; keys Return Return Escape shift+Tab ctrl+c
    check "Escape keeps the match selected" "ERROR." "$(clipboard)"
    close "find and copy"
fi

# 2. No parameters: the usage message box, then the end.
if start Error; then
    xdotool search --onlyvisible --name '^Vantrel$' >/dev/null && fail "a window opened beside the usage message"
    keys Return
    finish "usage message"
fi

# expect_window CASE EXPECTED-VIEW-TEXT PARAMETERS...: runs Vantrel on the
# parameters and checks that its window opens showing the text (read through
# Copy All), and that it ends with status 0 when closed.
expect_window() {
    local name=$1 expected=$2; shift 2
    if start Vantrel "$@"; then
        keys alt+c
        check "$name" "$expected." "$(clipboard)"
        close "$name"
    fi
}

# 3. Bad command lines: each ends with the error text in the window.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/not-executable"
install -m 0700 /dev/null "$scratch/not-a-program"
mkdir "$scratch/blank dir" && printf '#!/bin/sh\necho ran\n' > "$scratch/blank dir/prog" && chmod +x "$scratch/blank dir/prog"
expect_window "a program that is not found" $'Error: "2" -> vantrel-no-such-program -x\n' vantrel-no-such-program -x
expect_window "an empty parameter" $'Error: "2" -> \n' ""
expect_window "only blanks" $'Error: "2" ->    \n' "   "
expect_window "a directory" $'Error: "13" -> /\n' /
expect_window "no execute permission" $'Error: "13" -> '"$scratch/not-executable"$'\n' "$scratch/not-executable"
expect_window "not a program" $'Error: "8" -> '"$scratch/not-a-program"$'\n' "$scratch/not-a-program"
# A parameter with a blank reaches the child unquoted and splits at the blank;
# quotes inside the parameter keep it whole.
expect_window "a program path with a blank" $'Error: "2" -> '"$scratch/blank dir/prog"$'\n' "$scratch/blank dir/prog"
expect_window "a quoted program path with a blank" $'ran\n\n' "\"$scratch/blank dir/prog\""

# 4. Parameters reach the child as they are: dashes and slashes (even those
#    Qt would take for its own), non-ASCII text, and 100 KiB of them.
expect_window "dash parameters reach the child" $'-style|-platform|/x|\n' printf '%s|' -style -platform /x
expect_window "non-ASCII parameters" $'\u00e9t\u00e9|\u65e5\u672c|\n' printf '%s|' $'\u00e9t\u00e9' $'\u65e5\u672c'
long=(); for i in $(seq 1000); do long+=("$(printf '%0100d' "$i")"); done
expect_window "100 KiB of parameters" $'1000 100000\n\n' sh -c '"n=0; for a; do n=$((n + ${#a})); done; echo $# $n"' x "${long[@]}"

# 5. Children that misbehave: the window still opens with what they wrote.
expect_window "CRs removed, bytes that are not UTF-8 shown" $'a\nb\uFFFDc\n' printf 'a\r\nb\377c\r'
expect_window "a child killed midway" $'partial\n\n' sh -c '"echo partial; kill -9 $$; echo never"'
expect_window "exit status 255" $'out\n\n' sh -c '"echo out; exit 255"'
expect_window "a child reading standard input" $'\n' cat
expect_window "a grandchild holding the output" $'parent\n\n' sh -c '"echo parent; sleep 60 &"'
expect_window "closing the output early and running on" $'early\n\n' sh -c '"echo early; exec >&-; sleep 1"'
printf -v first_8192 'y\n%.0s' $(seq 4096)
expect_window "a gibibyte with standard error as busy" "$first_8192"$'\n' \
    sh -c '"yes e | head -c 268435456 >&2; yes | head -c 1073741824"'

# 6. Started with standard input, output and error closed, as a launcher may.
if start Vantrel printf closed <&- >&- 2>&-; then
    keys alt+c
    check "own descriptors closed" $'closed\n.' "$(clipboard)"
    close "own descriptors closed"
fi

# ---- Start-up, end signals and long waits -----------------------------------
# The child is started before the window is built; these cases look at what
# happens before the window shows: no display, signals, a long wait.

# until_true SECONDS COMMAND...: runs the command every 0.1 s until it
# succeeds; fails when it never did within the time.
until_true() {
    local tenths=$(($1 * 10)); shift
    for _ in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
    return 1
}
running() { kill -0 "$1" 2>/dev/null; }
ended() { ! kill -0 "$1" 2>/dev/null; }
visible_window() { xdotool search --onlyvisible --name '^Vantrel$' >/dev/null 2>&1; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
sleep_child_of() { pgrep -P "$1" -x sleep >/dev/null; }

# end_after_signal CASE SIGNAL EXPECTED-STATUS: waits (10 s at most) for the
# Vantrel of $pid to end, never showing its window, with the status.
end_after_signal() {
    local case=$1 status shown=0
    for _ in $(seq 100); do
        visible_window && shown=1
        ended "$pid" && break
        sleep 0.1
    done
    if running "$pid"; then
        fail "$case: still running after SIG$2"
        kill -KILL "$pid"
    fi
    wait "$pid"; status=$?
    check "$case: exit status" "$3" "$status"
    check "$case: no window shown" 0 "$shown"
}

# sigterm_ends_sleeping_child CASE: sends SIGTERM to the Vantrel of $pid,
# whose child is `sleep`; Vantrel passes it on and ends with 143, showing no
# window, and the child is gone too.
sigterm_ends_sleeping_child() {
    local child
    child=$(pgrep -P "$pid" -x sleep)
    kill -TERM "$pid"
    end_after_signal "$1" TERM 143
    ended "$child" || { fail "$1: the child is left running"; kill "$child"; }
}

# 7. Without a display nothing is started: a message on standard error and
#    status 1. The program's name in it comes from argv[0], or from the
#    executable's own name when argv[0] is empty.
no_display_env=(env -u DISPLAY -u WAYLAND_DISPLAY -u WAYLAND_SOCKET -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE)
"${no_display_env[@]}" "$VANTREL" touch "$scratch/ran" 2>"$scratch/stderr"
check "no display: exit status" 1 "$?"
check "no display: the message" "vantrel: no display to show a window on: DISPLAY is not set. The command was not run." \
    "$(cat "$scratch/stderr")"
[ -e "$scratch/ran" ] && fail "no display: the command ran"
"${no_display_env[@]}" DISPLAY=:64999 "$VANTREL" touch "$scratch/ran" 2>"$scratch/stderr"
check "unreachable display: exit status" 1 "$?"
grep -q 'the X display ":64999" cannot be opened' "$scratch/stderr" || fail "unreachable display: $(cat "$scratch/stderr")"
[ -e "$scratch/ran" ] && fail "unreachable display: the command ran"
"${no_display_env[@]}" timeout 20 "$VANTREL" 2>"$scratch/stderr"
check "no display, no parameters: exit status" 1 "$?"
cp "$VANTREL" "$scratch/renamed-vantrel"
("${no_display_env[@]}" bash -c 'exec -a "" "$1" x' _ "$scratch/renamed-vantrel") 2>"$scratch/stderr"
check "empty argv[0]: the executable's name" "renamed-vantrel: no display" "$(cut -c1-27 "$scratch/stderr")"

# 8. SIGTERM, SIGINT or SIGHUP while the child runs goes on to the child; the
#    child ends, Vantrel ends with 128 + the number and shows no window.
#    await-signal names the signal it gets in a file and ends its sleeper.
printf '%s\n' '#!/bin/sh' \
    'for name in TERM INT HUP; do' \
    '    trap "echo $name > '"'"'$1'"'"'; kill \$sleeper; exit 0" "$name"' \
    'done' \
    'sleep 1000 &' \
    'sleeper=$!' \
    'echo "$sleeper" >"$1.ready"' \
    'wait' >"$scratch/await-signal"
chmod +x "$scratch/await-signal"
for signal in TERM:143 INT:130 HUP:129; do
    name=${signal%:*}
    rm -f "$scratch/got" "$scratch/got.ready"
    "$VANTREL" "$scratch/await-signal" "$scratch/got" &
    pid=$!
    if ! until_true 20 test -s "$scratch/got.ready"; then
        fail "SIG$name: the child never started"; kill -KILL "$pid"; wait "$pid"; continue
    fi
    sleeper=$(cat "$scratch/got.ready")
    kill -s "$name" "$pid"
    end_after_signal "SIG$name while the child runs" "$name" "${signal#*:}"
    check "SIG$name while the child runs: the child got it" "$name" "$(cat "$scratch/got" 2>/dev/null)"
    until_true 5 ended "$sleeper" || { fail "SIG$name: the child's sleeper is left running"; kill "$sleeper"; }
done
# A session bus that takes connections and never answers hangs the toolkit's
# start-up (for minutes); a signal still reaches the child and ends Vantrel.
python3 -c 'import socket, sys, time
bus = socket.socket(socket.AF_UNIX)
bus.bind(sys.argv[1])
bus.listen(16)
held = []
bus.settimeout(1)
for _ in range(120):
    try:
        held.append(bus.accept()[0])
    except socket.timeout:
        pass' "$scratch/silent-bus" &
silent_bus=$!
until_true 10 test -S "$scratch/silent-bus"
rm -f "$scratch/got" "$scratch/got.ready"
DBUS_SESSION_BUS_ADDRESS=unix:path=$scratch/silent-bus "$VANTREL" "$scratch/await-signal" "$scratch/got" &
pid=$!
if until_true 20 test -s "$scratch/got.ready"; then
    sleep 1  # the toolkit's start-up is hanging by now
    kill -TERM "$pid"
    end_after_signal "SIGTERM while the toolkit's start-up hangs" TERM 143
    check "SIGTERM while the toolkit's start-up hangs: the child got it" TERM "$(cat "$scratch/got" 2>/dev/null)"
else
    fail "the child never started beside a silent session bus"; kill -KILL "$pid"; wait "$pid"
fi
kill "$silent_bus"; wait "$silent_bus" 2>/dev/null
# The same with a child that the signal ends: nothing is left behind.
"$VANTREL" sleep 1000 &
pid=$!
if until_true 20 sleep_child_of "$pid"; then
    sigterm_ends_sleeping_child "SIGTERM with a child the signal ends"
else
    fail "sleep never started"; kill -KILL "$pid"; wait "$pid"
fi

# 9. Inherited dispositions: SIGCHLD ignored is set back to the default, and
#    SIGPIPE is ignored by Vantrel itself (the child gets the default, which
#    the capture test checks). Read from the kernel's view of the process.
signal_set() { (( (16#$1 >> ($2 - 1)) & 1 )); }
python3 -c 'import os, signal, sys
signal.signal(signal.SIGCHLD, signal.SIG_IGN)
signal.signal(signal.SIGPIPE, signal.SIG_DFL)
os.execv(sys.argv[1], sys.argv[1:])' "$VANTREL" sleep 1000 &
pid=$!
if until_true 20 sleep_child_of "$pid"; then
    ignored=$(awk '/^SigIgn:/ { print $2 }' "/proc/$pid/status")
    signal_set "$ignored" 17 && fail "SIGCHLD is still ignored"
    signal_set "$ignored" 13 || fail "SIGPIPE is not ignored"
    sigterm_ends_sleeping_child "inherited SIGCHLD ignored"
else
    fail "sleep never started with SIGCHLD ignored"; kill -KILL "$pid"; wait "$pid"
fi
# Standard error on a pipe whose reader has gone, and a toolkit warning to
# write there (a runtime directory that others may read): the window opens.
mkdir -m 0755 "$scratch/open-runtime"
printf '%s\n' '#!/usr/bin/env python3' \
    '# Runs a program with standard error on a pipe nobody reads and SIGPIPE' \
    '# at its default action, as a shell leaves it.' \
    'import os, signal, sys' \
    'read_end, write_end = os.pipe()' \
    'os.close(read_end)' \
    'os.dup2(write_end, 2)' \
    'signal.signal(signal.SIGPIPE, signal.SIG_DFL)' \
    'os.execv(sys.argv[1], sys.argv[1:])' >"$scratch/broken-stderr"
chmod +x "$scratch/broken-stderr"
VANTREL_UNDER_TEST=$VANTREL
VANTREL=$scratch/vantrel-with-broken-stderr
printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$scratch/broken-stderr" "$VANTREL_UNDER_TEST" >"$VANTREL"
chmod +x "$VANTREL"
if XDG_RUNTIME_DIR=$scratch/open-runtime start Vantrel printf kept; then
    keys alt+c
    check "standard error on a broken pipe" $'kept\n.' "$(clipboard)"
    close "standard error on a broken pipe"
fi
VANTREL=$VANTREL_UNDER_TEST

# 10. The display's events are handled while the child runs: a desktop that
#     changes root window properties all the time does not make Vantrel's
#     memory grow. Unhandled, 300,000 changes cost over 20 MiB. (Under
#     AddressSanitizer freed memory is held back in a quarantine unless it
#     is turned off.)
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=0 "$VANTREL" sleep 1000 &
pid=$!
if until_true 20 sleep_child_of "$pid"; then
    sleep 2  # the toolkit's start-up is done
    before=$(rss_kib "$pid")
    for _ in $(seq 6); do "$FLOOD_ROOT_PROPERTIES" 50000; sleep 0.2; done
    sleep 1
    after=$(rss_kib "$pid")
    if [ $((after - before)) -gt 8192 ]; then
        fail "memory grew from $before to $after KiB while the child ran"
    else
        echo "ok: memory while waiting: $before KiB, then $after KiB"
    fi
    sigterm_ends_sleeping_child "events while waiting"
else
    fail "sleep never started for the memory check"; kill -KILL "$pid"; wait "$pid"
fi

# 11. Under a window manager, as a desktop user meets the program: an ordinary
#     window that task bars list, keys that make characters and keys that do
#     not, the focus coming back, the exact characters on the clipboard, and
#     Copy All outliving the program through a clipboard manager.
# selection_owner NAME: the window that owns the X selection NAME, or 0.
selection_owner() {
    python3 - "$1" <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
display = x.XOpenDisplay(None)
print(x.XGetSelectionOwner(display, x.XInternAtom(display, sys.argv[1].encode(), 0)) if display else 0)
PY
}
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
clipboard_manager_running() { [ "$(selection_owner CLIPBOARD_MANAGER)" != 0 ]; }

HOME="$scratch" icewm >/dev/null 2>&1 &
wm=$!
until_true 30 wm_running || fail "the window manager did not start"
if start Vantrel printf '"Error, errx, \360\237\230\200 error"'; then
    check "window type" "_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_NORMAL" \
        "$(xprop -id "$window" _NET_WM_WINDOW_TYPE)"
    check "no transient-for" "WM_TRANSIENT_FOR:  not found." "$(xprop -id "$window" WM_TRANSIENT_FOR)"
    xprop -id "$window" _NET_WM_STATE | grep -q SKIP_TASKBAR && fail "the window asks to be left out of task bars"
    xprop -root _NET_CLIENT_LIST | grep -qi "$(printf '0x%x' "$window")" || fail "the window manager does not list the window"
    # The Motif hints' functions (the third number) offer no minimise (8)
    # or maximise (16); the window manager may or may not honour them.
    functions=$(xprop -id "$window" _MOTIF_WM_HINTS | awk -F', ' '{print $2}')
    check "no minimise or maximise offered" 0 "$(( functions & 24 ))"

    # Alt+X is no character in the field: "o" then extends "err", not "errx".
    xdotool type --delay 60 err; keys alt+x; xdotool type --delay 60 o; keys shift+Tab ctrl+c
    check "Alt with a letter is neither typed nor searched" "Erro." "$(clipboard)"
    # A character outside the 16-bit range is one key: it finds itself.
    keys Tab Escape; xdotool type --delay 60 $'\U0001F600'; keys shift+Tab ctrl+c
    check "an emoji typed into the field finds itself" $'\U0001F600.' "$(clipboard)"
    # Enter presses the focused button.
    keys alt+f Tab Return
    check "Enter on the focused Copy All" $'Error, errx, \U0001F600 error\n.' "$(clipboard)"

    # Part of the field selected, another window activated, then this one
    # again (as from the task bar): the whole field is selected once more.
    keys alt+f; xdotool type --delay 60 abc; keys End shift+Left
    xmessage -title vantrel-e2e-other other &
    other=$!
    other_window=$(timeout 20 xdotool search --sync --onlyvisible --name '^vantrel-e2e-other$' | head -n 1)
    if [ -n "$other_window" ]; then
        xdotool windowactivate --sync "$other_window"; sleep 0.3
        xdotool windowactivate --sync "$window"; sleep 0.3
        keys ctrl+c
        check "the window activated again selects the whole field" "abc." "$(clipboard)"
    else
        fail "no second window to activate"
    fi
    kill "$other"; wait "$other" 2>/dev/null
    close "under a window manager"
fi

# What the child wrote is what Copy All copies: a no-break space, the line
# and paragraph separators and the noncharacters of Qt's frames stay as they
# are, and stand-in signs written by the child stay too.
exact=$'a\u00a0b\u2028c\u2029d\ufdd0e\ufdd1f\u21b5\u00b6\u25a1'
expect_window "exact characters through Copy All" "$exact"$'\n' printf "$exact"

# Copy All outlives the program: on its end Qt hands the clipboard over to
# the clipboard manager (xfsettingsd's, which takes it by the protocol).
echo sentinel | xclip -i -selection clipboard
XDG_CONFIG_HOME="$scratch/config" NO_AT_BRIDGE=1 dbus-run-session -- \
    sh -c 'echo $$ > "$1"; exec xfsettingsd --disable-wm-check' sh "$scratch/manager.pid" >/dev/null 2>&1 &
manager_session=$!
if until_true 30 clipboard_manager_running; then
    if start Vantrel printf outlives; then
        keys alt+c
        close "Copy All outliving the program"
        check "the clipboard after the program ended" $'outlives\n.' "$(clipboard)"
    fi
else
    fail "no clipboard manager: xfsettingsd did not take the CLIPBOARD_MANAGER selection"
fi
kill "$(cat "$scratch/manager.pid" 2>/dev/null)" 2>/dev/null
wait "$manager_session" 2>/dev/null
kill "$wm"; wait "$wm" 2>/dev/null

if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "all end-to-end checks passed"
