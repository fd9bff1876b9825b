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

fail() {
    echo "FAIL: $*"
    if [[ -n "${DISPLAY:-}" ]]; then
        echo "-- windows on $DISPLAY:"
        for w in $(xdotool search --name '.' 2>/dev/null); do
            echo "   $w $(xdotool getwindowname "$w" 2>/dev/null) $(xwininfo -id "$w" 2>/dev/null | grep -o 'Map State: .*')"
        done
    fi
    for log in "${work:-/nonexistent}"/program*.log "${work:-/nonexistent}"/xvfb.log; do
        [[ -s $log ]] && { echo "-- $(basename "$log"):"; tail -n 20 "$log"; }
    done
    exit 1
}

source "$(dirname "$0")/../lib/xsession.sh"
[[ "${KT_XSESSION_INSIDE:-}" == 1 || -x "$xclose" ]] \
    || skip "korvo-xclose was not built (no X11 client library), so no window can be closed"
xsession_enter "$0" "$@"

# ---- Inside ------------------------------------------------------------------------------------------------
xsession_start 1024x768
mkdir -p "$artifacts"
start_receiver() { # output
    "$receiver" 7699 90 >"$1" &
    pids+=($!)
    for _ in $(seq 100); do grep -q '^# listening' "$1" 2>/dev/null && return; sleep 0.05; done
    fail "the receiver did not start"
}
datagrams() { grep -v '^#' "$1" || true; }
wait_gone() { # pid seconds
    for _ in $(seq $(( $2 * 20 ))); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.05; done
    return 1
}

# ---- Scenario 1: load a set, Esc, OK, S, ticks, S, close ----------------------------------------------------
echo "== load a countdown set, start and pause with S, close the window"
# The first legend as an operator may type it: markup and Qt's modified mark "[*]" are shown as they are.
printf 'TimeLeft\r\n<b>1st</b> Quarter [*]\r\n10:00\r\n2nd Quarter\r\n10:00\r\n' >"$work/quarters.ptm"
start_receiver "$work/rx1.txt"
"$program" >"$work/program1.log" 2>&1 &
clock=$!
pids+=("$clock")

settings=$(find_window '^Setting$') || fail "the Setting window did not appear"
[[ -n "$settings" ]] || fail "the Setting window did not appear"
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

main=$(find_window '^<b>1st</b> Quarter \[\*\]/10:00$') || fail "the main window did not appear with <b>1st</b> Quarter [*]/10:00"
[[ -n "$main" ]] || fail "the main window did not appear"
eval "$(xdotool getwindowgeometry --shell "$main")"
[[ "$X,$Y,$WIDTH,$HEIGHT" == "235,187,216,153" ]] || fail "main window client area at $X,$Y ${WIDTH}x$HEIGHT, not 235,187 216x153"
sleep 0.3
screenshot "$main" "$artifacts/main-window-paused.png"

xdotool windowfocus --sync "$main"
xdotool key s
sleep 3.5
screenshot "$main" "$artifacts/main-window-running.png"
xdotool key s
sleep 1.5
"$xclose" "$main"
wait_gone "$clock" 10 || fail "the program still runs after its window was closed"
wait "$clock" && status=0 || status=$?
[[ $status -eq 0 ]] || fail "the program ended with status $status"
sleep 0.5

echo "received:"; datagrams "$work/rx1.txt"
mapfile -t got < <(datagrams "$work/rx1.txt")
[[ ${#got[@]} -ge 5 ]] || fail "expected at least 5 datagrams, got ${#got[@]}"
read -r _ dst payload <<<"${got[0]}"
[[ "$dst $payload" == "192.168.0.255 p1t10:00" ]] || fail "first datagram: $dst $payload"
expect=(p1t09:59 p1t09:58 p1t09:57)
previous=
for i in 0 1 2; do
    read -r ms dst payload <<<"${got[$((i + 1))]}"
    [[ "$dst $payload" == "192.168.0.255 ${expect[$i]}" ]] || fail "tick $((i + 1)): $dst $payload"
    if [[ -n "$previous" ]]; then
        gap=$(( ms - previous ))
        (( gap >= 850 && gap <= 1150 )) || fail "ticks ${gap} ms apart"
    fi
    previous=$ms
done
last=$(( ${#got[@]} - 1 ))
read -r _ dst payload <<<"${got[$last]}"
[[ "$payload" == pause ]] || fail "the last datagram is not pause: ${got[$last]}"
(( last <= 5 )) || fail "too many datagrams: ${#got[@]}"

# The window as it was drawn: red digits in the clock label, symbols on the buttons.
if [[ -s "$artifacts/main-window-paused.png" && $imagemagick == yes ]]; then
    red=$(ink "$artifacts/main-window-paused.png" 139 49 38 18 red)
    at_least "$red" 0.08 || fail "the clock digits are not drawn (red share $red)"
    for b in "start 80 72 36" "pause 158 72 36" "reset 2 72 36" "1dw 2 18 25" "10up 178 44 25"; do
        read -r name x y h <<<"$b"
        case $name in 1dw|10up) w=35 ;; *) w=55 ;; esac
        share=$(ink "$artifacts/main-window-paused.png" $(( w - 8 )) $(( h - 8 )) $(( x + 4 )) $(( y + 4 )) black)
        at_least "$share" 0.03 || fail "no symbol drawn on $name (ink share $share)"
    done
    running=$(ink "$artifacts/main-window-running.png" 139 49 38 18 black)
    at_least "$running" 0.08 || fail "the running clock is not drawn in black (share $running)"
fi

# ---- Scenarios 2 and 3: leaving the settings window without a set ends the program, sending nothing ------
# quits_quietly N WHAT COMMAND...: start the program, run COMMAND on its settings window, expect a clean end.
quits_quietly() {
    local n=$1 what=$2 clock settings status
    shift 2
    echo "== $what"
    start_receiver "$work/rx$n.txt"
    "$program" >"$work/program$n.log" 2>&1 &
    clock=$!
    pids+=("$clock")
    settings=$(find_window '^Setting$') || fail "the Setting window did not appear"
    "$@" "$settings"
    wait_gone "$clock" 10 || fail "$what left the program running"
    wait "$clock" && status=0 || status=$?
    [[ $status -eq 0 ]] || fail "$what ended the program with status $status"
    sleep 1
    [[ -z "$(datagrams "$work/rx$n.txt")" ]] || fail "$what sent: $(datagrams "$work/rx$n.txt")"
}
click_end() { click "$1" "${END[@]}"; }
quits_quietly 2 "End in the settings window" click_end
quits_quietly 3 "the close box of the settings window with no set" "$xclose"

echo "PASS (screenshots in $artifacts)"
