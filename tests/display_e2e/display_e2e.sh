#!/usr/bin/env bash
# The clock and everything that follows it, as at a venue: korvo-timer, a korvo-display window, a
# korvo-display --print following only this clock with no display server to reach, and korvo-web with a
# headless Chromium showing its page (tests/web/web_e2e_watch.py), under Xvfb inside a private network
# namespace. Another sender's datagram and a malformed one come first. The operator loads a set, presses Esc
# (which does nothing), OK, S, waits, and S again. A plain receiver on port 7699 stamps each datagram's
# arrival; the display traces when it received a datagram and when it had painted it, on the same monotonic
# clock.
#
#   display_e2e.sh CLOCK DISPLAY RECEIVER KORVO-WEB ARTIFACT-DIR
#
# Passes when the clock sent 10:00, a tick a second and a pause to 192.168.0.255; the window and the browser
# showed every datagram of the clock (and nothing else) within 100 ms of its arrival, and the browser ends on
# what the clock window shows after the second S; --print printed the clock's datagrams in order and told of
# the other two on standard error; and korvo-display refuses bad options. The browser's part is skipped where
# Chromium or Selenium cannot be had. Exit 0 passed, 1 failed, 77 skipped (with the reason on the last line).
set -euo pipefail

clock_program=$1 display_program=$2 receiver=$3 web_program=$4 artifacts=$5
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/xsession.sh"
xsession_enter "$0" "$@"

xsession_start 1920x1400
mkdir -p "$artifacts"

# ---- Options, without a display server -------------------------------------------------------------------
headless=(env -u DISPLAY -u QT_QPA_PLATFORM "$display_program")
for bad in "--port 0" "--port 65536" "--source 192.168.0" "7699"; do
    # shellcheck disable=SC2086 # each is an option and its value
    timeout 5 "${headless[@]}" --print $bad 2>"$work/refused" && code=0 || code=$?
    [[ $code == 2 && $(<"$work/refused") == "korvo-display: "* ]] || fail "--print $bad: $code $(<"$work/refused")"
done

# ---- The witnesses and the display, before the clock -----------------------------------------------------
# --print follows only this clock: its own address in the namespace, zero-padded as operators copy it.
"${headless[@]}" --print --source 192.168.000.001 >"$artifacts/print.txt" 2>"$work/print.err" &
pids+=($!)
wait_until 100 grep -q 'listening on UDP port 7699' "$work/print.err" \
    || fail "--print is not listening: $(cat "$work/print.err")"
# Another sender's time, and a malformed datagram from this clock's address: neither may be printed. --print
# is alone on the port yet, so a plain datagram to each address reaches it.
printf p9t01:00 >/dev/udp/127.0.0.1/7699
printf P1t09:58 >/dev/udp/192.168.0.1/7699
start_receiver "$work/arrivals.txt" 90
KORVO_DISPLAY_TRACE=1 "$display_program" 2>"$artifacts/trace.txt" &
pids+=($!)
/usr/bin/python3 "$here/../web/web_e2e_watch.py" "$web_program" "$work" "$artifacts" &
watcher=$!
pids+=("$watcher")

display=$(find_window '^Korvo Display$') || fail "the display window did not appear"
xdotool windowmove --sync "$display" 0 800 # below the clock's windows, so that none covers another
for _ in $(seq 300); do [[ -e "$work/watching" ]] && break; kill -0 "$watcher" 2>/dev/null || break; sleep 0.05; done

# ---- The operator: load a set, OK, S, S ------------------------------------------------------------------
printf 'TimeLeft\r\n1st Quarter\r\n10:00\r\n2nd Quarter\r\n10:00\r\n' >"$work/quarters.ptm"
"$clock_program" >"$work/clock.log" 2>&1 &
clock=$!
pids+=("$clock")
settings=$(find_window '^Setting$') || fail "the Setting window did not appear"
load_period_set "$settings" "$work/quarters.ptm"
xdotool windowfocus --sync "$settings" key Escape # the window has no Cancel: Esc does nothing
sleep 0.5
find_window '^Setting$' >/dev/null || fail "Esc closed the Setting window"
click "$settings" "${OK[@]}"
main=$(find_window '^1st Quarter/10:00$') || fail "the main window did not appear"
sleep 0.5
xdotool windowfocus --sync "$main" key s
sleep 3.5
xdotool windowfocus --sync "$main" key s
sleep 1
xdotool getwindowname "$main" >"$work/caption"
touch "$work/stop"
kill "$clock"

# ---- What arrived, and when the display and the browser showed it ----------------------------------------
status=0 browser=0
wait "$watcher" || browser=$?
[[ $browser -eq 0 || $browser -eq 77 ]] || status=1
sent=$(awk '!/^#/ { print $3 }' "$work/arrivals.txt" | tr '\n' ' ')
[[ $sent =~ ^p1t10:00\ p1t09:59\ p1t09:58\ p1t09:57\ (p1t09:56\ )?pause\ $ ]] || fail "not 10:00 to 09:57 and a pause: $sent"
# Everything to the venue's broadcast address, the ticks a second apart.
awk '!/^#/ && $2 != "192.168.0.255" { exit 1 }
     $3 ~ /^p1t09/ { if (n++ && ($1 - t < 850 || $1 - t > 1150)) exit 1; t = $1 }' "$work/arrivals.txt" \
    || fail "not to 192.168.0.255 or not a second apart: $(cat "$work/arrivals.txt")"
# Each arrival against the first paint of the same datagram after the display received it.
awk '
    FNR == NR { if (!/^#/) { arrival[++n] = $1; sent[n] = $3 }; next }
    $1 == "received" { got[++k] = $2 }
    $1 == "shown" { for (i = 1; i <= k; i++) if (!(i in delay) && got[i] == $2) delay[i] = $3 / 1e6 - arrival[i] }
    END {
        for (i = 1; i <= n || i <= k; i++) {
            printf "display: sent %-9s received %-9s %s\n", sent[i], got[i],
                   (i in delay) ? sprintf("shown %.1f ms after arrival", delay[i]) : "never shown"
            if (got[i] != sent[i] || !(i in delay) || delay[i] > 100) late++
        }
        if (late) print "FAIL: the display was late or missed a datagram"
        exit late > 0
    }' "$work/arrivals.txt" "$artifacts/trace.txt" || status=1

# --print: one line per datagram of the clock, in order, with an ISO timestamp and the clock's address; the
# other two on standard error.
printed=$(awk '{ printf "%s %s ", $2, $3 }' "$artifacts/print.txt")
[[ $printed == "$(awk '!/^#/ { printf "192.168.0.1 %s ", $3 }' "$work/arrivals.txt")" ]] \
    || { echo "FAIL: --print printed $printed"; status=1; }
iso='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}(Z|[+-][0-9]{2}:[0-9]{2})'
grep -qvE "^$iso " "$artifacts/print.txt" && { echo "FAIL: --print lines without an ISO timestamp"; status=1; }
told=$(grep -oE '127\.0\.0\.1 ignored .*"p9t01:00"|192\.168\.0\.1 rejected .*"P1t09:58"' "$work/print.err" | wc -l)
[[ $told == 2 ]] || { echo "FAIL: --print's standard error: $(cat "$work/print.err")"; status=1; }
[[ $status -eq 0 ]] || exit 1
echo "PASS$( ((browser == 77)) && echo " without the browser's part (skipped above)")"
