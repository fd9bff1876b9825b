#!/usr/bin/env bash
# The clock and its remote displays together, as at a venue: korvo-timer, two korvo-display windows and a
# korvo-display --print, under Xvfb inside a private network namespace. The operator loads a set, presses
# OK, S, waits, and S again. A plain receiver on port 7699 stamps each datagram's arrival; each display
# traces when it received a datagram and when it had painted it, on the same monotonic clock.
#
#   display_e2e.sh CLOCK DISPLAY RECEIVER ARTIFACT-DIR
#
# Passes when both windows showed every datagram within 100 ms of its arrival (each delay is printed),
# both show the pause marker after the second S, and --print printed the datagrams in order.
# Exit 0 passed, 1 failed, 77 skipped (with the reason on the last line).
set -euo pipefail

clock_program=$1 display_program=$2 receiver=$3 artifacts=$4
limit_ms=100

fail() { echo "FAIL: $*"; exit 1; }

source "$(dirname "$0")/../lib/xsession.sh"
xsession_enter "$0" "$@"

# ---- Inside ------------------------------------------------------------------------------------------------
xsession_start 1920x1400
mkdir -p "$artifacts"

# ---- The displays and the witnesses, before the clock -----------------------------------------------------
"$receiver" 7699 90 >"$work/arrivals.txt" &
pids+=($!)
for _ in $(seq 100); do grep -q '^# listening' "$work/arrivals.txt" 2>/dev/null && break; sleep 0.05; done
grep -q '^# listening' "$work/arrivals.txt" || fail "the receiver did not start"

"$display_program" --print >"$work/print.txt" 2>"$work/print.err" &
pids+=($!)
KORVO_DISPLAY_TRACE=1 "$display_program" 2>"$work/trace-a.txt" &
pids+=($!)
sleep 0.5
# The second one follows only this clock: the clock's own address in the namespace.
KORVO_DISPLAY_TRACE=1 "$display_program" --source 192.168.000.001 2>"$work/trace-b.txt" &
pids+=($!)

mapfile -t windows < <(timeout 20 bash -c 'until [[ $(xdotool search --onlyvisible --name "^Korvo Display$" | wc -l) -ge 2 ]]; do sleep 0.1; done; xdotool search --onlyvisible --name "^Korvo Display$"') \
    || fail "the two display windows did not appear"
[[ ${#windows[@]} -eq 2 ]] || fail "expected two display windows, found ${#windows[@]}"
# Side by side below the clock's windows, so that none covers another.
xdotool windowmove --sync "${windows[0]}" 0 800
xdotool windowmove --sync "${windows[1]}" 960 800
for _ in $(seq 100); do grep -q 'listening on UDP port' "$work/print.err" && break; sleep 0.05; done
grep -q 'listening on UDP port 7699' "$work/print.err" || fail "--print is not listening: $(cat "$work/print.err")"
sleep 0.3
screenshot "${windows[0]}" "$artifacts/display-waiting.png"

# ---- The operator: load a set, OK, S, S ------------------------------------------------------------------
printf 'TimeLeft\r\n1st Quarter\r\n10:00\r\n2nd Quarter\r\n10:00\r\n' >"$work/quarters.ptm"
"$clock_program" >"$work/clock.log" 2>&1 &
clock=$!
pids+=("$clock")
settings=$(find_window '^Setting$') || fail "the Setting window did not appear"
[[ -n "$settings" ]] || fail "the Setting window did not appear"
load_period_set "$settings" "$work/quarters.ptm"
sleep 0.3
click "$settings" "${OK[@]}"
main=$(find_window '^1st Quarter/10:00$') || fail "the main window did not appear"
[[ -n "$main" ]] || fail "the main window did not appear"
sleep 0.5
xdotool windowfocus --sync "$main"
xdotool key s
sleep 2.6
screenshot "${windows[0]}" "$artifacts/display-a-running.png"
screenshot "${windows[1]}" "$artifacts/display-b-running.png"
sleep 0.9
xdotool windowfocus --sync "$main"
xdotool key s
sleep 1
screenshot "${windows[0]}" "$artifacts/display-a-paused.png"
screenshot "${windows[1]}" "$artifacts/display-b-paused.png"
kill "$clock"
sleep 0.3

# ---- What arrived, and when each display showed it -------------------------------------------------------
grep -v '^#' "$work/arrivals.txt" >"$work/arrived.txt" || true
echo "arrived (ms on the monotonic clock, destination, datagram):"
cat "$work/arrived.txt"
mapfile -t sent < <(awk '{ print $3 }' "$work/arrived.txt")
[[ ${#sent[@]} -ge 5 ]] || fail "expected at least 5 datagrams from the clock, got ${#sent[@]}"
[[ "${sent[0]}" == p1t10:00 ]] || fail "first datagram ${sent[0]}"
[[ "${sent[-1]}" == pause ]] || fail "last datagram ${sent[-1]}, not pause"

status=0
for name in a b; do
    trace=$work/trace-$name.txt
    cp "$trace" "$artifacts/trace-$name.txt"
    mapfile -t received < <(awk '$1 == "received" { print $2 }' "$trace")
    [[ "${received[*]}" == "${sent[*]}" ]] || { echo "FAIL: display $name received: ${received[*]}"; status=1; continue; }
    # For each arrival, the first "shown" of the same datagram after it was received.
    if ! awk -v name="$name" -v limit="$limit_ms" '
        FNR == NR { arrival[NR] = $1; n = NR; next }
        $1 == "received" { k++; waiting[k] = $2 }
        $1 == "shown" && k > done_ {
            # A paint covers every datagram received before it that carried the same text as the latest.
            for (i = done_ + 1; i <= k; i++) {
                if (waiting[i] == $2) {
                    delay = $3 / 1e6 - arrival[i]
                    printf "display %s: %-9s shown %6.1f ms after arrival\n", name, $2, delay
                    if (delay > limit) late++
                    if (delay > worst) worst = delay
                    total += delay; shownCount++
                } else {
                    printf "display %s: %-9s never painted (overtaken by %s)\n", name, waiting[i], $2
                    late++
                }
            }
            done_ = k
        }
        END {
            if (done_ < n) { printf "display %s: %d datagram(s) never painted\n", name, n - done_; late++ }
            if (shownCount) printf "display %s: worst %.1f ms, mean %.1f ms over %d datagrams\n", name, worst, total / shownCount, shownCount
            exit late > 0
        }' "$work/arrived.txt" "$trace"; then
        echo "FAIL: display $name was late or missed a datagram (limit ${limit_ms} ms)"
        status=1
    fi
done

# The pictures: white digits while running, the amber pause marker after the second S.
if command -v convert >/dev/null && [[ -s "$artifacts/display-a-paused.png" ]]; then
    for name in a b; do
        white=$(ink "$artifacts/display-$name-running.png" 900 260 30 80 white 20%)
        at_least "$white" 0.08 || { echo "FAIL: display $name shows no digits while running (white $white)"; status=1; }
        amber=$(ink "$artifacts/display-$name-paused.png" 900 100 30 380 'rgb(255,176,0)' 20%)
        at_least "$amber" 0.02 || { echo "FAIL: display $name shows no pause marker (amber $amber)"; status=1; }
        echo "display $name: digit ink $white while running, pause-marker ink $amber when paused"
    done
fi

# --print: one line per datagram, in order, naming the clock.
cp "$work/print.txt" "$artifacts/print.txt"
echo "--print wrote:"; cat "$work/print.txt"
mapfile -t printed < <(awk '{ print $2 " " $3 }' "$work/print.txt")
expected=()
for s in "${sent[@]}"; do expected+=("192.168.0.1 $s"); done
[[ "${printed[*]}" == "${expected[*]}" ]] || { echo "FAIL: --print lines differ from what arrived"; status=1; }
bad=$(grep -cvE '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}(Z|[+-][0-9]{2}:[0-9]{2}) ' "$work/print.txt" || true)
[[ "$bad" == 0 ]] || { echo "FAIL: $bad --print line(s) without an ISO timestamp"; status=1; }

[[ $status -eq 0 ]] || exit 1
echo "PASS (screenshots and traces in $artifacts)"
