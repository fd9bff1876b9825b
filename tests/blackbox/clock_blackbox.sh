#!/usr/bin/env bash
# The built program as an operator runs it: under Xvfb, inside a private network namespace, driven with
# xdotool by clicks at the windows' real positions and by keys, with a receiver on port 7699 standing in
# for a remote display.
#
#   clock_blackbox.sh PROGRAM RECEIVER XCLOSE ARTIFACT-DIR
#
# PROGRAM is korvo-timer, RECEIVER korvo-udp-receiver, XCLOSE korvo-xclose (or "none" when it could not be
# built). Screenshots of both windows go to ARTIFACT-DIR. Exit 0 passed, 1 failed, 77 skipped (with the
# reason on the last line).
set -euo pipefail

program=$1 receiver=$2 xclose=$3 artifacts=$4

source "$(dirname "$0")/../lib/xsession.sh"
[[ "${KT_XSESSION_INSIDE:-}" == 1 || -x "$xclose" ]] \
    || skip "korvo-xclose was not built (no X11 client library), so no window can be closed"
xsession_enter "$0" "$@"

# ---- Inside ------------------------------------------------------------------------------------------------
xsession_start 1024x768
mkdir -p "$artifacts"
datagrams() { grep -v '^#' "$1" || true; }
# run N: starts the program with a receiver of its own; the Setting window in $settings.
run() {
    start_receiver "$work/rx$1.txt" 90
    "$program" >"$work/program$1.log" 2>&1 &
    clock=$!
    pids+=("$clock")
    settings=$(find_window '^Setting$') || fail "the Setting window did not appear"
}
ended_cleanly() { # what
    wait_gone "$clock" 10 || fail "$1 left the program running"
    wait "$clock" || fail "$1 ended the program with status $?"
}

echo "== load a countdown set, start and pause with S, close the window"
# The first legend as an operator may type it: markup and Qt's modified mark "[*]" are shown as they are.
printf 'TimeLeft\r\n<b>1st</b> Quarter [*]\r\n10:00\r\n2nd Quarter\r\n10:00\r\n' >"$work/quarters.ptm"
run 1
[[ -z "$(xdotool search --onlyvisible --name '^(Korvo Timer|.*/10:00)$' 2>/dev/null || true)" ]] \
    || fail "the main window is visible while the settings window is open"
load_period_set "$settings" "$work/quarters.ptm"
sleep 0.3
screenshot "$settings" "$artifacts/settings-window.png"
[[ -z "$(datagrams "$work/rx1.txt")" ]] || fail "a datagram was sent before OK: $(datagrams "$work/rx1.txt")"
xdotool windowfocus --sync "$settings" key Escape # the window has no Cancel: Esc does nothing
sleep 0.5
[[ -n "$(xdotool search --onlyvisible --name '^Setting$' 2>/dev/null || true)" ]] || fail "Esc closed the Setting window"
click "$settings" "${OK[@]}"
main=$(find_window '^<b>1st</b> Quarter \[\*\]/10:00$') || fail "the main window did not appear as <b>1st</b> Quarter [*]/10:00"
sleep 0.3
screenshot "$main" "$artifacts/main-window-paused.png"
xdotool windowfocus --sync "$main" key s
sleep 3.5
screenshot "$main" "$artifacts/main-window-running.png"
xdotool key s
sleep 1.5
"$xclose" "$main"
ended_cleanly "the close box"
sleep 0.5

echo "received:"; datagrams "$work/rx1.txt"
mapfile -t got < <(datagrams "$work/rx1.txt")
# The start-up datagram, three ticks a second apart, at most one more, and "pause" last.
(( ${#got[@]} >= 5 && ${#got[@]} <= 6 )) || fail "expected 5 or 6 datagrams, got ${#got[@]}"
[[ "${got[0]#* }" == "192.168.0.255 p1t10:00" ]] || fail "first datagram: ${got[0]}"
previous=0
for i in 1 2 3; do
    read -r ms dst payload <<<"${got[$i]}"
    [[ "$dst $payload" == "192.168.0.255 p1t09:5$(( 10 - i ))" ]] || fail "tick $i: $dst $payload"
    (( i == 1 || (ms - previous >= 850 && ms - previous <= 1150) )) || fail "ticks $(( ms - previous )) ms apart"
    previous=$ms
done
[[ "${got[-1]##* }" == pause ]] || fail "the last datagram is not pause: ${got[-1]}"

# The window as it was drawn: red digits while paused, black while running (the symbols are the unit tests').
if [[ -s "$artifacts/main-window-paused.png" && $imagemagick == yes ]]; then
    at_least "$(ink "$artifacts/main-window-paused.png" 139 49 38 18 red)" 0.08 || fail "the paused digits are not red"
    at_least "$(ink "$artifacts/main-window-running.png" 139 49 38 18 black)" 0.08 || fail "the running digits are not black"
fi

# Leaving the settings window without a set ends the program, sending nothing.
for way in End "the close box"; do
    echo "== $way in the settings window"
    run "${way// /}"
    if [[ $way == End ]]; then click "$settings" "${END[@]}"; else "$xclose" "$settings"; fi
    ended_cleanly "$way"
    sleep 1
    [[ -z "$(datagrams "$work/rx${way// /}.txt")" ]] || fail "$way sent: $(datagrams "$work/rx${way// /}.txt")"
done
echo "PASS (screenshots in $artifacts)"
