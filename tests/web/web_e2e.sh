#!/usr/bin/env bash
# The clock, korvo-web and a browser together, as at a venue: korvo-timer under Xvfb, korvo-web and a
# headless Chromium showing its page, all in one private network namespace. The operator loads a set,
# presses OK, S, waits and presses S again; a plain receiver stamps each datagram's arrival.
#
#   web_e2e.sh CLOCK KORVO-WEB RECEIVER ARTIFACT-DIR
#
# Passes when the page showed every datagram within 100 ms of its arrival and ends showing what the clock
# window shows, paused. Exit 0 passed, 1 failed, 77 skipped (with the reason on the last line).
set -euo pipefail

clock_program=$1 web_program=$2 receiver=$3 artifacts=$4
here=$(cd "$(dirname "$0")" && pwd)

fail() { echo "FAIL: $*"; exit 1; }

source "$here/../lib/xsession.sh"
xsession_enter "$0" "$@"

# ---- Inside ------------------------------------------------------------------------------------------------
xsession_start 1024x768
mkdir -p "$artifacts"

"$receiver" 7699 90 >"$work/arrivals.txt" &
pids+=($!)
"$web_program" 2>"$work/web.log" &
pids+=($!)
for _ in $(seq 100); do grep -q '^# listening' "$work/arrivals.txt" && grep -q serving "$work/web.log" && break; sleep 0.05; done
grep -q serving "$work/web.log" || fail "korvo-web did not start: $(cat "$work/web.log")"

KT_WEB_INSIDE=1 /usr/bin/python3 "$here/web_e2e_watch.py" "$work" "$artifacts" &
watcher=$!
pids+=("$watcher")
for _ in $(seq 300); do [[ -e "$work/watching" ]] && break; kill -0 "$watcher" 2>/dev/null || break; sleep 0.05; done
[[ -e "$work/watching" ]] || { wait "$watcher" || exit $?; fail "the browser did not start"; }

printf 'TimeLeft\r\n1st Quarter\r\n10:00\r\n2nd Quarter\r\n10:00\r\n' >"$work/quarters.ptm"
"$clock_program" >"$work/clock.log" 2>&1 &
pids+=($!)
settings=$(find_window '^Setting$') || fail "the Setting window did not appear"
load_period_set "$settings" "$work/quarters.ptm"
sleep 0.3
click "$settings" "${OK[@]}"
main=$(find_window '^1st Quarter/10:00$') || fail "the main window did not appear"
sleep 0.5
xdotool windowfocus --sync "$main"
xdotool key s
sleep 3.4
xdotool key s
sleep 0.5
xdotool getwindowname "$main" >"$work/caption"
touch "$work/stop"
wait "$watcher"
