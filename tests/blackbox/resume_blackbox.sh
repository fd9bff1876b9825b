#!/usr/bin/env bash
# The game outlives the clock program: killed with SIGKILL in the middle of a game, the program offers the
# game at the next start and goes on where its datagrams left off. Under Xvfb in a private network
# namespace, driven with xdotool, with a receiver on port 7699 standing in for a remote display.
#
#   resume_blackbox.sh PROGRAM RECEIVER XCLOSE story     killed: Yes; killed: No; --no-resume; normal end; End
#   resume_blackbox.sh PROGRAM RECEIVER XCLOSE kills N   N kills at random moments of a running game
#
# Exit 0 passed, 1 failed, 77 skipped (with the reason on the last line).
set -euo pipefail

program=$1 receiver=$2 xclose=$3 mode=$4 kills=${5:-50}

source "$(dirname "$0")/../lib/xsession.sh"
[[ "${KT_XSESSION_INSIDE:-}" == 1 || -x "$xclose" ]] \
    || skip "korvo-xclose was not built (no X11 client library), so no window can be closed"
xsession_enter "$0" "$@"

# ---- Inside ------------------------------------------------------------------------------------------------
xsession_start 1024x768
start_receiver "$work/rx.txt" 300
# The time datagrams so far, one "destination payload" a line.
times() { awk '$3 ~ /^p[0-9]/ { print $2, $3 }' "$work/rx.txt"; }
# Returns once there are more than $1 of them.
more_than() { for _ in $(seq 100); do (( $(times | wc -l) > $1 )) && return 0; sleep 0.05; done; return 1; }

run=0
start() { # options...: the next run of the program; its pid in $clock
    run=$((run + 1))
    "$program" "$@" >"$work/run$run.log" 2>&1 &
    clock=$!
    pids+=("$clock")
}
killed() { kill -9 "$clock"; wait "$clock" 2>/dev/null || true; sleep 0.1; }
# A new game through the Setting window: a set file, Broadcast IP 127.000.000, Ok; the main window in $main.
new_game() { # set-file title
    local settings
    settings=$(find_window '^Setting$') || fail "run $run: the Setting window did not appear"
    load_period_set "$settings" "$1"
    sleep 0.3
    # The file dialog took the keyboard focus with it; the Setting window must have it back to be typed into.
    xdotool windowfocus --sync "$settings"
    click "$settings" 4680 510 1065 285 # Broadcast IP
    xdotool key ctrl+a type --delay 20 127000000
    click "$settings" "${OK[@]}"
    main=$(find_window "^$2\$") || fail "run $run: the main window did not appear with $2"
}
press() { xdotool windowfocus --sync "$main" key "$@"; }
answer() { # key: Return for Yes, Escape for No
    local box
    box=$(find_window '^KorvoTimer$') || fail "run $run did not ask to resume the last game"
    xdotool windowfocus --sync "$box" key "$1"
}
# After a Yes: the window shows the game at what the last or the one but last datagram before the
# kill showed, and the run's first datagram says the same, to the game's address.
resumed() { # title-prefix datagrams-before-the-kill
    local before=$2 got last
    more_than "$before" || fail "run $run sent nothing after Yes"
    got=$(times | sed -n "$((before + 1))p")
    last=$(times | sed -n "$((before > 1 ? before - 1 : 1)),${before}p" | awk '{ print $2 }')
    grep -qxF "${got#* }" <<<"$last" || fail "run $run offered '$got' after: $(tr '\n' ' ' <<<"$last")"
    [[ $got == "127.0.0.255 "* ]] || fail "run $run sent its first datagram to ${got% *}"
    main=$(find_window "^$1/${got##*t}\$") || fail "run $run does not show $1/${got##*t}"
}
set_aside() { compgen -G "$KORVO_STATE_DIR/journal-*.json" | wc -l; }

if [[ $mode == story ]]; then
    printf 'TimeLeft\r\n1st Half\r\n10:00\r\n2nd Half\r\n10:00\r\n' >"$work/halves.ptm"

    echo "== killed 5 s into the 2nd half; Yes"
    start
    new_game "$work/halves.ptm" "1st Half/10:00"
    click "$main" 30 1080 825 555 # Reset
    sleep 0.3
    xdotool key Down Return # "Yes Reset time", which enables Next
    click "$main" 2370 1680 825 540 # Next
    find_window '^2nd Half/10:00$' >/dev/null || fail "Next did not reach the 2nd half"
    press s
    sleep 5.3
    killed
    sent=$(times | wc -l)
    [[ "$(times | tail -n 1)" == "127.0.0.255 p2t09:5"[45] ]] || fail "before the kill: $(times | tail -n 1)"
    start
    answer Return
    resumed "2nd Half" "$sent"
    sleep 1.3 # paused: nothing follows the resumed time
    (( $(times | wc -l) == sent + 1 )) || fail "the resumed clock runs: $(times | tail -n 2 | tr '\n' ' ')"
    shown=$(times | tail -n 1) # 09:54 to 09:56: the next tick has a second less
    sent=$(times | wc -l)
    press s
    more_than "$sent" || fail "no tick after Start"
    [[ "$(times | tail -n 1)" == "127.0.0.255 p2t09:$(( 10#${shown: -2} - 1 ))" ]] \
        || fail "the first tick after $shown sent: $(times | tail -n 1)"

    echo "== killed again; No (Escape): the Setting window as always, the game set aside"
    killed
    start
    answer Escape
    new_game "$work/halves.ptm" "1st Half/10:00"
    [[ $(set_aside) == 1 ]] || fail "the game declined was not set aside"

    echo "== killed in the new game, --no-resume: no question (the Setting window comes), the game set aside"
    killed
    start --no-resume
    new_game "$work/halves.ptm" "1st Half/10:00"
    [[ $(set_aside) == 2 ]] || fail "--no-resume did not set the unfinished game aside"

    echo "== a normal end (close box), then a start: no question; End there ends the program, sending nothing"
    "$xclose" "$main"
    wait "$clock" || fail "the close box ended the program with status $?"
    start
    settings=$(find_window '^Setting$') || fail "no Setting window after a normal end"
    no_window '^KorvoTimer$' || fail "asked after a normal end"
    received=$(wc -l <"$work/rx.txt")
    click "$settings" 5580 4260 1545 405 # End
    wait "$clock" || fail "End ended the program with status $?"
    sleep 0.5
    [[ $(wc -l <"$work/rx.txt") == "$received" ]] || fail "End sent: $(tail -n 1 "$work/rx.txt")"

    echo "== --resume after that normal end: Yes brings back the game closed"
    start --resume
    answer Return
    find_window '^1st Half/10:00$' >/dev/null || fail "--resume did not restore 1st Half/10:00"
    killed
    echo "PASS; received:"; times | tr "\n" ";"; echo
    exit 0
fi

echo "== $kills kills at random moments of a running game"
printf 'TimeLeft\r\nGame\r\n60:00\r\n' >"$work/game.ptm"
start
new_game "$work/game.ptm" "Game/60:00"
press s
SECONDS=0
for i in $(seq "$kills"); do
    # The kill at any moment of a tick's second, before the run's first tick or after it.
    sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.3f", 0.5 + (r % 1000) / 1000 }')"
    killed
    sent=$(times | wc -l)
    start
    answer Return
    resumed Game "$sent"
    press s
done
echo "PASS: $kills kills in $SECONDS s; the last datagram: $(times | tail -n 1)"
