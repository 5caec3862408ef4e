#!/usr/bin/env bash
# The user's whole wait: from starting a command line to the window that
# shows the command's output, for Vantrel and for the two tools people use
# instead, which get the output through a pipe and so start together with
# the command:
#   vantrel CMD        CMD | xmessage -file -        CMD | zenity --text-info
# and, as the floor of any Qt window, Qt's minimal window on its own
# (qt_minimal_window), empty and with a text view of 8 KiB (the floor of a
# window that shows text). CMD (stamp_exit) prints 8 KiB of text lines and
# ends at once or after 100 ms, and stamps the moment it ends. Each run is the
# command line started by a shell, as a user's shell starts it, timed to the
# X MapNotify of the tool's window (x_map_watch); the cases take turns, after
# one untimed round. Prints medians, the time from the command's end to the
# window, the command's end after the start less its sleep (the time to
# start it and let it print), and the ratios with their targets. Nothing
# passes or fails on the figures.
#   bench/wait.sh      on $DISPLAY, or on a private Xvfb when none is set
# VANTREL_BENCH_RUNS sets the runs per median (9); VANTREL_BENCH_PROGRAM the
# Vantrel to time (build/bench/vantrel, built as bench/run.sh builds it);
# VANTREL_BENCH_BEFORE another Vantrel (an earlier build) timed in the same
# turns, for a before and after in one run.
# Needs x11-apps and zenity (BENCH_PACKAGES in tools/common.sh).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${VANTREL_BENCH_RUNS:-9}
tmp=$(mktemp -d)
source "$root/bench/lib.sh"
own_display=0
cleanup() {
    [ "$own_display" = 1 ] && stop_xvfb
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for tool in xmessage zenity; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: install x11-apps and zenity"; exit 1; }
done
build_bench || exit 1
vantrel=${VANTREL_BENCH_PROGRAM:-$build/vantrel}
before=${VANTREL_BENCH_BEFORE:-}
if [ -z "${DISPLAY:-}" ]; then
    start_xvfb || exit 1
    own_display=1
fi

# The command line a user would type for TOOL, with a command that sleeps MS.
command_line() { # command_line TOOL MS
    local child="$bin/stamp_exit --sleep $2 --print 8192 $tmp/stamp"
    case $1 in
        vantrel) echo "exec $vantrel $child" ;;
        before) echo "exec $before $child" ;;
        xmessage) echo "$child | xmessage -file -" ;;
        zenity) echo "$child | zenity --text-info --title=zenity-wait" ;;
        minimal) echo "exec $bin/qt_minimal_window" ;;
        textview) echo "exec $bin/qt_minimal_window --text-view" ;;
    esac
}
window_name() { case $1 in vantrel | before) echo Vantrel ;; xmessage) echo xmessage ;; zenity) echo zenity-wait ;; *) echo Minimal ;; esac; }
label() { # label TOOL MS
    case $1 in
        vantrel) echo "vantrel CMD, $2 ms" ;;
        before) echo "vantrel CMD (before), $2 ms" ;;
        xmessage) echo "CMD | xmessage -file -, $2 ms" ;;
        zenity) echo "CMD | zenity --text-info, $2 ms" ;;
        minimal) echo "Qt's minimal window, empty" ;;
        textview) echo "Qt's minimal window, 8 KiB text view" ;;
    esac
}

problems=0
# measure TOOL MS: one run; keeps start-to-map and end-to-map in $tmp.
measure() {
    local line map stamp
    rm -f "$tmp/stamp"
    line=$("$bin/x_map_watch" --name "$(window_name "$1")" --timeout 30 -- sh -c "$(command_line "$1" "$2")" \
           2>>"$tmp/tools.log")
    map=$(field map_ns "$line")
    if [ "${map:-0}" = 0 ]; then
        echo "  PROBLEM: no window for $1 with a $2 ms command: $line"
        problems=$((problems + 1))
        return
    fi
    echo $((map - $(field start_ns "$line"))) >>"$tmp/$1.$2.wait"
    if [ -s "$tmp/stamp" ]; then
        echo $((map - $(tr -d '\r\n' <"$tmp/stamp"))) >>"$tmp/$1.$2.after"
        echo $(($(tr -d '\r\n' <"$tmp/stamp") - $(field start_ns "$line") - $2 * 1000000)) >>"$tmp/$1.$2.ran"
    fi
}

cases=(vantrel:0 xmessage:0 zenity:0 minimal:0 textview:0 vantrel:100 xmessage:100 zenity:100)
[ -n "$before" ] && cases+=(before:0 before:100)
for c in "${cases[@]}"; do measure "${c%:*}" "${c#*:}"; done
rm -f "$tmp"/*.wait "$tmp"/*.after "$tmp"/*.ran
for round in $(seq "$runs"); do
    for i in "${!cases[@]}"; do
        c=${cases[$(((i + round) % ${#cases[@]}))]}
        measure "${c%:*}" "${c#*:}"
    done
done

wait_ms() { ms "$(median <"$tmp/$1.$2.wait")"; }
after_ms() { if [ -s "$tmp/$1.$2.after" ]; then ms "$(median <"$tmp/$1.$2.after")"; else echo -; fi; }
# The command's end after the start, less its sleep: how long it took to
# start (and to print its 8 KiB), from the shell's exec on.
ran_ms() { if [ -s "$tmp/$1.$2.ran" ]; then ms "$(median <"$tmp/$1.$2.ran")"; else echo -; fi; }
echo "  the user's wait, median of $runs runs (ms)   start to window   command's end to window   command started and done"
for c in "${cases[@]}"; do
    tool=${c%:*} sleep_ms=${c#*:}
    printf '    %-40s %8s %18s %24s\n' "$(label "$tool" "$sleep_ms")" "$(wait_ms "$tool" "$sleep_ms")" \
        "$(after_ms "$tool" "$sleep_ms")" "$(ran_ms "$tool" "$sleep_ms")"
done
# ratio A B: A / B, two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# verdict FIGURE LIMIT: met or missed.
verdict() { awk -v f="$1" -v l="$2" 'BEGIN { print (f <= l ? "met" : "MISSED") }'; }
v0=$(wait_ms vantrel 0) x0=$(wait_ms xmessage 0) z0=$(wait_ms zenity 0) m0=$(wait_ms minimal 0)
v100=$(wait_ms vantrel 100) x100=$(wait_ms xmessage 100) z100=$(wait_ms zenity 100)
after=$(after_ms vantrel 100)
echo "  targets:"
echo "    100 ms command: window after the command's end  $after ms   (at most 5 ms: $(verdict "$after" 5))"
echo "    100 ms command: vantrel / xmessage              $(ratio "$v100" "$x100")   (at most 0.75: $(verdict "$(ratio "$v100" "$x100")" 0.75))"
echo "    100 ms command: vantrel / zenity                $(ratio "$v100" "$z100")   (at most 0.50: $(verdict "$(ratio "$v100" "$z100")" 0.50))"
echo "    0 ms command:   vantrel / Qt's minimal window   $(ratio "$v0" "$m0")   (at most 1.10: $(verdict "$(ratio "$v0" "$m0")" 1.10))"
echo "    0 ms command:   vantrel / xmessage              $(ratio "$v0" "$x0")   (at most 0.80: $(verdict "$(ratio "$v0" "$x0")" 0.80))"
echo "    0 ms command:   vantrel / zenity                $(ratio "$v0" "$z0")"
echo "    0 ms command:   vantrel / Qt's 8 KiB text view  $(ratio "$v0" "$(wait_ms textview 0)")"
if [ -n "$before" ]; then
    echo "  after / before: $(ratio "$v0" "$(wait_ms before 0)") (0 ms command), $(ratio "$v100" "$(wait_ms before 100)") (100 ms)"
    for sleep_ms in 0 100; do
        echo "  the command started and done after exec, $sleep_ms ms command: $(ran_ms vantrel "$sleep_ms") ms," \
             "before $(ran_ms before "$sleep_ms") ms (the shell's own pipeline: $(ran_ms xmessage "$sleep_ms") ms)"
    done
fi
[ "$problems" -eq 0 ]
