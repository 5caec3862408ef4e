#!/usr/bin/env bash
# The real Linux program on an X display, driven as a user drives it: keys
# typed with xdotool, the clipboard read with xclip, the window closed the
# way a window manager closes it, and the exit status checked.
#   vantrel_e2e_linux.sh path/to/vantrel path/to/x_close_window
# Without a display it starts itself again under Xvfb.
set -u
VANTREL=$1
CLOSE_WINDOW=$2

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

# 7. Under a window manager, as a desktop user meets the program: an ordinary
#    window that task bars list, keys that make characters and keys that do
#    not, the focus coming back, the exact characters on the clipboard, and
#    Copy All outliving the program through a clipboard manager.
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
# wait_for TRIES COMMAND...: runs the command every 0.1 s until it succeeds.
wait_for() { local tries=$1; shift; for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done; return 1; }
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
clipboard_manager_running() { [ "$(selection_owner CLIPBOARD_MANAGER)" != 0 ]; }

HOME="$scratch" icewm >/dev/null 2>&1 &
wm=$!
wait_for 100 wm_running || fail "the window manager did not start"
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
if wait_for 100 clipboard_manager_running; then
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
