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

if [ "$failures" -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "all end-to-end checks passed"
