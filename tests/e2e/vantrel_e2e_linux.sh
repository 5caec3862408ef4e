#!/usr/bin/env bash
# The real Linux program on an X display, driven as a user drives it: keys
# typed with xdotool, the clipboard read with xclip, the window closed the
# way a window manager closes it, and the exit status checked. Only what
# needs the real processes and a real display is here; each case says what
# no lower layer can see. The rules themselves are the core's, the capture's
# (with the supervisor) and the window's tests.
#   vantrel_e2e_linux.sh path/to/vantrel path/to/x_close_window path/to/x_flood_root_properties
# Without a display it starts a private Xvfb.
set -u
VANTREL=$1
CLOSE_WINDOW=$2
FLOOD_ROOT_PROPERTIES=$3
source "$(dirname "$0")/../lib.sh"

scratch=$(mktemp -d)
trap 'stop_window_manager; stop_xvfb; rm -rf "$scratch"' EXIT
[ -n "${DISPLAY:-}" ] || start_xvfb || exit 1
export QT_QPA_PLATFORM=xcb

# start WINDOW-NAME PARAMETERS...: starts vantrel (through the shell
# function $via, when set) and waits for a window of that name.
start() {
    local name=$1; shift
    ${via:-} "$VANTREL" "$@" & pid=$!
    window=$(window_named "$name")
    if [ -z "$window" ]; then fail "no window named $name for: $*"; return 1; fi
    xdotool windowfocus --sync "$window"
    sleep 0.3
}

# finish CASE: the program ends (10 s at most) with status 0.
finish() {
    until_true 10 ended "$pid" || { fail "$1: still running"; kill "$pid"; }
    wait "$pid"; check "$1: exit status" 0 "$?"
}

close() { "$CLOSE_WINDOW" "$window"; finish "$1"; }
# The clipboard's text, with a final "." so that trailing line breaks survive.
clipboard() { xclip -o -selection clipboard 2>/dev/null; echo .; }
keys() { xdotool key --delay 60 "$@"; sleep 0.2; }

running() { kill -0 "$1" 2>/dev/null; }
ended() { ! running "$1"; }
visible_window() { xdotool search --onlyvisible --name '^Vantrel$' >/dev/null 2>&1; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
window_process_of() { pgrep -P "$1" -x vantrel-window; }

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

# refused CASE MESSAGE VANTREL-COMMAND...: Vantrel, run on a command that
# would touch $scratch/ran, runs nothing, says MESSAGE on standard error and
# exits with 1 (AddressSanitizer's own warnings aside).
refused() {
    local name=$1 message=$2 status; shift 2
    rm -f "$scratch/ran"
    "$@" 2>"$scratch/stderr"; status=$?
    check "$name" "1 $message" "$status $(grep -v '^==[0-9]*==' "$scratch/stderr")"
    [ ! -e "$scratch/ran" ] || fail "$name: the command ran"
}
not_run=" The command was not run."

# sigterm CASE CHECK [CHILD]: SIGTERM to the Vantrel of $pid ends it with 143
# (the check "CASE: CHECK") within 10 s, its window's program and CHILD with
# it. With CHILD (the command, a `sleep`), no window named Vantrel showed on X.
sigterm() {
    local shown_by shown=0
    shown_by=$(window_process_of "$pid")
    kill -TERM "$pid"
    for _ in $(seq 100); do visible_window && shown=1; ended "$pid" && break; sleep 0.1; done
    running "$pid" && { fail "$1: still running after SIGTERM"; kill -KILL "$pid"; }
    wait "$pid"; check "$1: $2" 143 "$?"
    [ -z "$shown_by" ] || ended "$shown_by" || fail "$1: the window's program is left running"
    [ -z "${3:-}" ] && return
    ended "$3" || { fail "$1: the child is left running"; kill "$3"; }
    check "$1: no window shown" 0 "$shown"
}

# silent_socket PATH: a Unix socket that takes connections and never
# answers, in the background ($silent) for two minutes at most.
silent_socket() {
    python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(16); s.settimeout(120); held = []
while True: held.append(s.accept()[0])' "$1" 2>/dev/null & silent=$!
    until_true 10 test -S "$1"
}

# 1. Real key events reach the find and Alt+C the X clipboard; the window's
#    size as mapped. The parameters are joined and split again, as the
#    child's command line always is: the quotes inside keep the text one word.
if start Vantrel printf '"Error, error, ERROR"'; then
    check "window size" "660x566" "$(xdotool getwindowgeometry "$window" | awk '/Geometry/ {print $2}')"
    xdotool type --delay 60 error; keys Return shift+Tab ctrl+c
    check "typed keys find, Enter steps on" "error." "$(clipboard)"
    keys alt+c
    check "Copy All copies the whole view" $'Error, error, ERROR\n.' "$(clipboard)"
    close "find and copy"
fi

# 2. No parameters: the usage message box, shown by the window's program for
#    the supervisor, then the end.
if start Error; then
    visible_window && fail "a window opened beside the usage message"
    keys Return
    finish "usage message"
fi

# 3. One start failure end to end (the capture test has them all): the error
#    text handed over to the real window.
expect_window "a program that is not found" $'Error: "2" -> vantrel-no-such-program -x\n' vantrel-no-such-program -x

# 4. The real bytes through the hand-over, the toolkit's decoding and the X
#    clipboard: CRs removed, a byte that is not UTF-8 shown as U+FFFD, a
#    leading byte-order mark and the characters Qt's view holds as stand-ins
#    kept, and stand-in signs written by the child kept too.
exact=$'a\u00a0b\u2028c\u2029d\ufdd0e\ufdd1f\u21b5\u00b6\u25a1'
expect_window "what the child wrote, exactly" $'\ufeff'"x"$'\n'"y"$'\ufffd'"$exact"$'\n' \
    printf '\357\273\277x\r\ny\377'"$exact"
# The 8192-byte cut through a character: what is left of it shows, and is
# copied, as U+FFFD.
python3 -c 'import sys; sys.stdout.buffer.write(b"x" * 8191 + "\u20ac".encode())' >"$scratch/cut"
expect_window "a character cut at 8192 bytes" "$(printf '%8191s' '' | tr ' ' x)"$'\ufffd\n' cat "$scratch/cut"

# 5. Started with standard input, output and error closed, as a launcher may:
#    the supervisor's own start, and the window's standard descriptors.
closed_standard_descriptors() { "$@" <&- >&- 2>&-; }
via=closed_standard_descriptors expect_window "own descriptors closed" $'closed\n' printf closed

# ---- Start-up, signals and long waits ---------------------------------------
# The command is started before the window's program; these cases look at
# what happens around it with the real programs.

# on_own_xvfb FUNCTION: runs the function in a subshell with an X server of
# its own, which the function may stop or lose; its failures count here.
on_own_xvfb() { ( failures=0; start_xvfb || exit 1; "$1"; stop_xvfb; exit "$failures" ) || failures=$((failures + 1)); }

# sleeping STARTER...: starts STARTER "$VANTREL" sleep 1000 in the background
# ($pid) and waits (20 s at most) until the sleep runs as its child ($child).
sleeping() {
    "$@" "$VANTREL" sleep 1000 & pid=$!
    until_true 20 pgrep -P "$pid" -x sleep >/dev/null && child=$(pgrep -P "$pid" -x sleep) && return 0
    fail "sleep never started for: $*"; kill -KILL "$pid"; wait "$pid"; return 1
}

# 6. Without a display, or with a platform Qt does not have, nothing is
#    started: a message on standard error and status 1. The real main's
#    messages, with Qt's real plugin directory. The program's name in them
#    comes from argv[0], or from the executable's own name when argv[0] is
#    empty.
no_display_env=(env -u DISPLAY -u WAYLAND_DISPLAY -u WAYLAND_SOCKET -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE)
no_display="vantrel: no display to show a window on:"
refused "no display" "$no_display DISPLAY is not set.$not_run" "${no_display_env[@]}" "$VANTREL" touch "$scratch/ran"
refused "a platform Qt has no plugin for" "$no_display Qt has no platform plugin \"foo\".$not_run" \
    env QT_QPA_PLATFORM=foo "$VANTREL" touch "$scratch/ran"
"${no_display_env[@]}" timeout 20 "$VANTREL" 2>"$scratch/stderr"
check "no display, no parameters: exit status" 1 "$?"
cp "$VANTREL" "$scratch/renamed-vantrel"
("${no_display_env[@]}" bash -c 'exec -a "" "$1" x' _ "$scratch/renamed-vantrel") 2>"$scratch/stderr"
check "empty argv[0]: the executable's name" "renamed-vantrel: no display" "$(cut -c1-27 "$scratch/stderr")"
# Standard error on a pipe nobody reads, SIGPIPE at its default as a shell
# leaves it: the message cannot be written, and the status stays 1.
with_broken_stderr() { python3 -c 'import os, signal, sys; r, w = os.pipe(); os.close(r); os.dup2(w, 2)
signal.signal(signal.SIGPIPE, signal.SIG_DFL); os.execvp(sys.argv[1], sys.argv[1:])' "$@"; }
refused "no display, standard error a broken pipe" "" \
    with_broken_stderr "${no_display_env[@]}" "$VANTREL" touch "$scratch/ran"
# A real X server that is stopped takes the connection and never answers.
stopped_x() {
    kill -STOP "$xvfb_pid"
    refused "a stopped X server" "$no_display the X display \"$DISPLAY\" did not answer within 5 s.$not_run" \
        "$VANTREL" touch "$scratch/ran"
    kill -CONT "$xvfb_pid"
}
on_own_xvfb stopped_x

# 7. A session bus that takes connections and never answers hangs the real
#    toolkit's start-up (for minutes); a signal still reaches the command and
#    ends Vantrel.
silent_socket "$scratch/silent-bus"
if sleeping env DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/silent-bus"; then
    sleep 1  # the toolkit's start-up is hanging by now
    sigterm "SIGTERM while the toolkit's start-up hangs" "exit status" "$child"
fi
kill "$silent"; wait "$silent" 2>/dev/null

# 8. Dispositions from a real starter, read from the kernel's view of the
#    processes: SIGHUP ignored (as nohup leaves it) stays ignored by Vantrel
#    and the command, and a SIGHUP then changes nothing; SIGCHLD ignored is
#    set back to the default for both.
ignores() { (( (16#$(awk '/^SigIgn:/ { print $2 }' "/proc/$1/status") >> ($2 - 1)) & 1 )); }
if sleeping python3 -c 'import os, signal as s, sys; s.signal(s.SIGHUP, s.SIG_IGN); s.signal(s.SIGCHLD, s.SIG_IGN)
os.execv(sys.argv[1], sys.argv[1:])'; then
    for process in "$pid" "$child"; do
        ignores "$process" 1 || fail "SIGHUP is not ignored by $(cat "/proc/$process/comm")"
        ignores "$process" 17 && fail "SIGCHLD is still ignored by $(cat "/proc/$process/comm")"
    done
    kill -HUP "$pid"; sleep 0.5
    running "$child" || fail "SIGHUP, ignored by the starter, ended the command"
    sigterm "a starter's ignored SIGHUP and SIGCHLD" "exit status" "$child"
fi

# drive HOW SCRIPT: runs `bash -c SCRIPT bash $VANTREL DIR`, waits (20 s at
# most) for DIR/ready and, with HOW ending in "-stopped", for a process of it
# to stop. Then HOW "ctrl-c..." types the interrupt key on the terminal bash
# leads, HOW "TERM" sends SIGTERM to bash (Vantrel by then, by exec). Says how
# bash ended within 10 s, as its parent sees it: "exit N", "signal N" or
# "still running", and ", a child left running" when one of its own outlived it.
drive_dir=$scratch/terminal
mkdir "$drive_dir"
drive() {
    rm -f "$drive_dir/ready"
    python3 - "$@" "$VANTREL" "$drive_dir" <<'PY'
import os, pty, signal, sys, time
how, script, args = sys.argv[1], sys.argv[2], sys.argv[3:]
pid, terminal = pty.fork() if how.startswith("ctrl-c") else (os.fork(), None)
if pid == 0:
    os.execvp("bash", ["bash", "-c", script, "bash"] + args)
def read(path):  # "" once the process is gone
    try: return open(path).read()
    except OSError: return ""
def family(of):  # its processes, and theirs
    children = [int(child) for child in read(f"/proc/{of}/task/{of}/children").split()]
    return children + [process for child in children for process in family(child)]
def state(process):
    return (read(f"/proc/{process}/stat").rpartition(")")[2].split() or ["?"])[0]
for _ in range(200):
    if os.path.exists(args[1] + "/ready") and (not how.endswith("-stopped") or "T" in map(state, family(pid))):
        break
    time.sleep(0.1)
processes = family(pid)
os.write(terminal, b"\x03") if terminal else os.kill(pid, signal.SIGTERM)
for _ in range(100):
    done, status = os.waitpid(pid, os.WNOHANG)
    if done:
        print(f"signal {os.WTERMSIG(status)}" if os.WIFSIGNALED(status) else f"exit {os.WEXITSTATUS(status)}", end="")
        break
    time.sleep(0.1)
else:
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    print("still running", end="")
time.sleep(0.2)
for process in processes:
    if state(process) not in ("?", "Z"):
        os.kill(process, signal.SIGKILL)
        print(", a child left running", end="")
PY
}

# 9. Vantrel ends the way the signal it passed on or was sent would have
#    ended it, as its parent sees it: killed by the signal, not exiting with
#    128 + N, so that a shell stops its loop after Ctrl-C. The real terminal
#    driver's signals: Ctrl-C with the command in a session of its own (out
#    of our process group, so the interrupt is passed on); Ctrl-C in a shell's
#    loop; Ctrl-C on a command that stopped itself, which is continued so
#    that it ends; and SIGTERM from the parent.
until_ended='"\"touch $2/ready; exec sleep 1000\""'
check "Ctrl-C on a terminal, the command in its own session" "signal 2" \
    "$(drive ctrl-c 'exec "$1" setsid sh -c '"$until_ended")"
check "Ctrl-C in a shell's loop ends the loop" "signal 2" \
    "$(drive ctrl-c 'for f in a b c; do "$1" sh -c "\"echo $f >> $2/rounds; touch $2/ready; exec sleep 1000\""; done')"
check "Ctrl-C in a shell's loop: one round ran" "a" "$(cat "$drive_dir/rounds")"
check "Ctrl-C on a command that stopped itself" "signal 2" \
    "$(drive ctrl-c-stopped 'exec "$1" sh -c "\"touch $2/ready; kill -STOP \$\$; exec sleep 1000\""')"
check "SIGTERM: the parent sees Vantrel killed by it" "signal 15" "$(drive TERM 'exec "$1" sh -c '"$until_ended")"

# 10. The display's events are handled while the command runs: a desktop
#     that changes root window properties all the time does not make the
#     window's program grow. Unhandled, 300,000 changes cost over 20 MiB.
#     (Under AddressSanitizer freed memory is held back in a quarantine
#     unless it is turned off.)
if sleeping env ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=0"; then
    sleep 2  # the toolkit's start-up is done
    shown_by=$(window_process_of "$pid") || fail "no window's program for the memory check"
    before=$(rss_kib "$shown_by")
    for _ in $(seq 6); do "$FLOOD_ROOT_PROPERTIES" 50000; sleep 0.2; done
    sleep 1
    after=$(rss_kib "$shown_by")
    [ $((after - before)) -le 8192 ] && echo "ok: memory while waiting: $before KiB, then $after KiB" ||
        fail "memory grew from $before to $after KiB while the child ran"
    sigterm "events while waiting" "exit status" "$child"
fi

# 11. A lost X server while the command runs: the real toolkit ends, the
#     command runs to its end, and Vantrel ends with 1 and one line.
lost_x() {
    "$VANTREL" sh -c '"sleep 2; touch '"$scratch/ran-to-end"'"' 2>"$scratch/stderr" & pid=$!
    sleep 1  # the window's program has its connection
    stop_xvfb
    wait "$pid"
    check "a lost X server: exit status" 1 "$?"
    check_that "a lost X server: the command ran to its end" test -e "$scratch/ran-to-end"
    check_that "a lost X server: one line from vantrel" \
        grep -qx "vantrel: the window .* before showing the output; the command ran to its end." "$scratch/stderr"
}
on_own_xvfb lost_x

# 12. Standard error on a pipe whose reader has gone, and a toolkit warning
#     to write there (a runtime directory that others may read): the window
#     opens.
mkdir -m 0755 "$scratch/open-runtime"
XDG_RUNTIME_DIR=$scratch/open-runtime via=with_broken_stderr \
    expect_window "standard error on a broken pipe" $'kept\n' printf kept

# 13. Under a window manager, as a desktop user meets the program: an
#     ordinary window that task bars list, keys that make characters and
#     keys that do not through the real keyboard mapping, the focus coming
#     back, and Copy All outliving the program through a clipboard manager.
start_window_manager || fail "no window manager"
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
    xmessage -title vantrel-e2e-other other & other=$!
    other_window=$(window_named vantrel-e2e-other)
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

# Copy All outlives the program: on its end Qt hands the clipboard over to
# the clipboard manager (xfsettingsd's, which takes it by the protocol).
clipboard_manager_running() { # the X selection CLIPBOARD_MANAGER has an owner
    python3 -c 'import ctypes; x = ctypes.CDLL("libX11.so.6"); x.XOpenDisplay.restype = ctypes.c_void_p
d = ctypes.c_void_p(x.XOpenDisplay(None))
exit(not (d.value and x.XGetSelectionOwner(d, x.XInternAtom(d, b"CLIPBOARD_MANAGER", 0))))'
}
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
    # Ended by a signal (SIGTERM, a log-off's SIGHUP), the window is asked to
    # close as its close button does, and the text outlives it too.
    if start Vantrel printf terminated; then
        keys alt+c
        sigterm "Copy All, then SIGTERM" "exit status"
        check "the clipboard after SIGTERM" $'terminated\n.' "$(clipboard)"
    fi
else
    fail "no clipboard manager: xfsettingsd did not take the CLIPBOARD_MANAGER selection"
fi
kill "$(cat "$scratch/manager.pid" 2>/dev/null)" 2>/dev/null; wait "$manager_session" 2>/dev/null

stop_window_manager

# 14. Screen readers see a window, read through AT-SPI as Orca reads it: the
#     role and name that the real toolkit's accessibility bridge gives it.
check "AT-SPI: the window is a frame named Vantrel" "frame Vantrel" "$(dbus-run-session -- sh -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null & bus=$!
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$0" printf x >/dev/null & vantrel=$!
    /usr/bin/python3 -c "import pyatspi, time
for _ in range(200):
    apps = [app for app in pyatspi.Registry.getDesktop(0) if app and app.name == \"Vantrel\" and app.childCount]
    if apps:
        print(apps[0][0].getRoleName(), apps[0][0].name)
        break
    time.sleep(0.1)"
    kill $vantrel $bus' "$VANTREL" 2>/dev/null)"

# 15. The window's program runs only by an absolute path, beside the
#     supervisor or where it is installed: one planted in the current
#     directory or on PATH never runs, not even where /proc cannot say where
#     the supervisor is. One that cannot be run, or cannot be started for
#     want of processes, runs nothing; the command is not run either.
installed_window=/usr/libexec/vantrel/vantrel-window
planted=$scratch/planted
mkdir -p "$planted" "$scratch/lone" "$scratch/unrunnable"
printf '#!/bin/sh\ntouch "%s/planted-ran"\n' "$planted" >"$planted/vantrel-window"
chmod +x "$planted/vantrel-window"
cp "$VANTREL" "$scratch/lone/vantrel"
not_installed="vantrel: the window's program is not installed: it is not at"
in_planted=(env -C "$planted" PATH="$planted:$PATH")
if [ -e "$installed_window" ]; then
    echo "skipped: a lone copy of vantrel would find the installed window's program"
else
    refused "no window's program" "$not_installed $scratch/lone/../libexec/vantrel/vantrel-window, \
$scratch/lone/vantrel-window or $installed_window.$not_run" "${in_planted[@]}" "$scratch/lone/vantrel" touch "$scratch/ran"
    # Without /proc (a chroot, a sandbox), in a mount namespace of its own.
    if unshare --mount --fork true 2>/dev/null; then
        refused "no /proc" "$not_installed $installed_window.$not_run" "${in_planted[@]}" unshare --mount --fork \
            sh -c 'mount -t tmpfs none /proc && exec "$0" touch "$1"' "$VANTREL" "$scratch/ran"
    else
        echo "skipped: no /proc, as no mount namespace can be made here"
    fi
fi
[ -e "$planted/planted-ran" ] && fail "a planted window's program ran"
cp "$VANTREL" "$scratch/unrunnable/vantrel"
# Its interpreter missing, and no program at all.
for row in "No such file or directory:#!/nonexistent/interpreter" "Exec format error:not a program"; do
    printf '%s\n' "${row#*:}" >"$scratch/unrunnable/vantrel-window"
    chmod +x "$scratch/unrunnable/vantrel-window"
    refused "an unrunnable window's program (${row%%:*})" "vantrel: the window's program \
$scratch/unrunnable/vantrel-window cannot be run: ${row%%:*}.$not_run" "$scratch/unrunnable/vantrel" touch "$scratch/ran"
done
# No process left for the window (ulimit -u); root's own limit is not
# enforced, so root tries it as nobody, with copies nobody may run. (Qt's
# offscreen platform needs no display check, which would want a thread; so
# does LeakSanitizer's check at the end.)
nproc=$(mktemp -d) && chmod 1777 "$nproc"
cp "$VANTREL" "$nproc/vantrel"
cp "$(dirname "$VANTREL")/vantrel-window" "$nproc/" 2>/dev/null || cp "$installed_window" "$nproc/"
as_user=(env ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0")
[ "$(id -u)" -eq 0 ] && as_user+=(setpriv --reuid=65534 --regid=65534 --clear-groups)
one_process='ulimit -u 1 && exec "$0/vantrel" touch "$0/ran"'
refused "no process left for the window" "vantrel: the window's program $nproc/vantrel-window cannot be run: \
Resource temporarily unavailable.$not_run" env QT_QPA_PLATFORM=offscreen "${as_user[@]}" bash -c "$one_process" "$nproc"
refused "no thread left for the X check" "$no_display the X display \"$DISPLAY\" cannot be tried: \
Resource temporarily unavailable.$not_run" "${as_user[@]}" bash -c "$one_process" "$nproc"
[ -e "$nproc/ran" ] && fail "the command ran without its window"
rm -rf "$nproc"

# 16. On a real Wayland compositor (weston's headless backend, with Qt's
#     Wayland plugin from qt6-wayland), as the protocol log of the window's
#     program shows it: the display check passes and the window is shown with
#     the title "Vantrel" and the app id "vantrel", a frame drawn; SIGTERM then
#     ends Vantrel as documented. A socket the compositor handed over
#     (WAYLAND_SOCKET) goes to the window alone, not to the command. A
#     compositor that takes connections and never answers runs nothing.
wayland_runtime=$(mktemp -d)  # private, as a runtime directory must be
XDG_RUNTIME_DIR=$wayland_runtime weston --backend=headless-backend.so --socket=vantrel-e2e --idle-time=0 \
    >"$scratch/weston.log" 2>&1 & weston_pid=$!
on_wayland=(env -u DISPLAY -u WAYLAND_SOCKET XDG_RUNTIME_DIR="$wayland_runtime" WAYLAND_DISPLAY=vantrel-e2e
            QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client)
shown_on_wayland() { grep -q 'xdg_toplevel@[0-9]*\.set_title("Vantrel")' "$1" &&
    grep -q 'xdg_toplevel@[0-9]*\.set_app_id("vantrel")' "$1" && grep -q 'wl_surface@[0-9]*\.attach(wl_buffer@' "$1"; }
# on_weston CASE COMMAND...: the Vantrel that COMMAND runs shows its window
# on weston (20 s at most); then SIGTERM ends it with 143, the window's
# program too.
on_weston() {
    local log=$scratch/$1.log
    "${on_wayland[@]}" "${@:2}" 2>"$log" & pid=$!
    until_true 20 shown_on_wayland "$log" || fail "$1: no window on weston ($(grep -c . "$log") lines of protocol)"
    sigterm "$1" "shown on weston as Vantrel, app id vantrel, then SIGTERM's status"
}
if until_true 20 test -S "$wayland_runtime/vantrel-e2e"; then
    on_weston Wayland "$VANTREL" printf on-wayland
    on_weston WAYLAND_SOCKET python3 -c 'import os, socket, sys
compositor = socket.socket(socket.AF_UNIX); compositor.connect(sys.argv[1]); handed = compositor.detach()
os.set_inheritable(handed, True); os.environ.pop("WAYLAND_DISPLAY"); os.environ["WAYLAND_SOCKET"] = str(handed)
os.execv(sys.argv[2], sys.argv[2:])' "$wayland_runtime/vantrel-e2e" "$VANTREL" \
        sh -c '"echo ${WAYLAND_SOCKET-unset} >'"$scratch/socket-in-command"'"'
    check "WAYLAND_SOCKET: not the command's" "unset" "$(cat "$scratch/socket-in-command")"
else
    fail "weston did not start: $(tail -n 5 "$scratch/weston.log")"
fi
kill "$weston_pid"; wait "$weston_pid" 2>/dev/null
silent_socket "$wayland_runtime/silent"
refused "a silent Wayland compositor" "$no_display the Wayland display \"$wayland_runtime/silent\" did not answer \
within 5 s.$not_run" "${on_wayland[@]}" WAYLAND_DEBUG= WAYLAND_DISPLAY=silent "$VANTREL" touch "$scratch/ran"
kill "$silent"; wait "$silent" 2>/dev/null
rm -rf "$wayland_runtime"

checks_done "all end-to-end checks passed"
