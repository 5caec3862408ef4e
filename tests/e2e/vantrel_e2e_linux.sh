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
check() { # check NAME EXPECTED ACTUAL
    if [ "$2" == "$3" ]; then echo "ok: $1"; else fail "$1: expected $(printf %q "$2"), got $(printf %q "$3")"; fi
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

# 3. A program that cannot be started: the error text in the window.
if start Vantrel vantrel-no-such-program -x; then
    keys alt+c
    check "error text" $'Error: "2" -> vantrel-no-such-program -x\n.' "$(clipboard)"
    close "program not found"
fi

# 4. Parameters that Qt would take for its own belong to the child.
if start Vantrel printf '%s|' -style -platform /x; then
    keys alt+c
    check "dash parameters reach the child" $'-style|-platform|/x|\n.' "$(clipboard)"
    close "dash parameters"
fi

# 5. CRs removed; a byte that is not UTF-8 is shown, not dropped.
if start Vantrel printf 'a\r\nb\377c\r'; then
    keys alt+c
    check "bytes shown" $'a\nb\uFFFDc\n.' "$(clipboard)"
    close "bytes shown"
fi

# 6. Started with standard input, output and error closed, as a launcher may.
if start Vantrel printf closed <&- >&- 2>&-; then
    keys alt+c
    check "own descriptors closed" $'closed\n.' "$(clipboard)"
    close "own descriptors closed"
fi

if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "all end-to-end checks passed"
