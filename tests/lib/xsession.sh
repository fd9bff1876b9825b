# The black-box tests' common ground, sourced by their scripts: a private network namespace holding the
# venue's network (a veth with 192.168.0.1/24, so broadcasts to 192.168.0.255 come back and nothing leaves
# the machine), an X server of its own, and the few xdotool and ImageMagick helpers that drive and look at
# the programs.
#
#   source xsession.sh
#   xsession_enter "$0" "$@"      # outside: re-runs the script inside the namespaces; inside: returns
#   xsession_start 1024x768 [XVFB-ARG...]   # inside: network, work folder ($work), X server ($DISPLAY), cleanup
#
# Scripts exit 77 (skipped, with the reason on the last line) where namespaces or Xvfb cannot be had.

export PATH="$PATH:/usr/sbin:/sbin"

skip() { echo "SKIP: $*"; exit 77; }
# A script may bring its own; this one shows the tail of every log in the work folder.
declare -F fail >/dev/null || fail() {
    echo "FAIL: $*"
    for log in "${work:-/nonexistent}"/*.log; do [[ -s $log ]] && { echo "-- $(basename "$log"):"; tail -n 10 "$log"; }; done
    exit 1
}

xsession_enter() { # script args...
    [[ "${KT_XSESSION_INSIDE:-}" == 1 ]] && return 0
    local tool flags=(-n -m) err
    for tool in unshare ip Xvfb xdotool xdpyinfo awk; do command -v "$tool" >/dev/null || skip "$tool is not installed"; done
    # A network namespace, and a mount namespace for a private /tmp/.X11-unix: an X server starting in
    # another test's network namespace would otherwise replace this one's socket file.
    [[ $EUID -ne 0 ]] && flags=(-r -n -m)
    err=$(unshare "${flags[@]}" true 2>&1) || skip "cannot make a network namespace here: $err"
    exec env KT_XSESSION_INSIDE=1 unshare "${flags[@]}" bash "$@"
}

xsession_start() { # screen-size [Xvfb argument...]
    mkdir -p /tmp/.X11-unix
    mount -t tmpfs -o mode=1777 korvo-x11 /tmp/.X11-unix || skip "cannot mount a private /tmp/.X11-unix"
    ip link set lo up
    ip link add kt0 type veth peer name kt1 2>/dev/null || skip "cannot make veth links in the network namespace"
    ip addr add 192.168.0.1/24 brd + dev kt0 && ip link set kt0 up && ip link set kt1 up
    wait_until 50 ip -4 route get 192.168.0.255 >/dev/null 2>&1 || skip "no route to 192.168.0.255 in the namespace"
    work=$(mktemp -d)
    # The clock keeps its game here, not in the user's folder: no test meets another one's game.
    export KORVO_STATE_DIR="$work/state"
    pids=()
    trap xsession_cleanup EXIT
    # Xvfb picks a free display itself and tells its number. No reset when the last client leaves: a
    # program starting during a reset would be refused.
    Xvfb -displayfd 3 -noreset -screen 0 "${1}x24" -nolisten tcp "${@:2}" 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    wait_until 100 test -s "$work/display" || skip "Xvfb did not start: $(tail -n 3 "$work/xvfb.log" | tr '\n' ' ')"
    export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb
    wait_until 100 xdpyinfo >/dev/null 2>&1 || skip "the Xvfb display cannot be reached"
}

# Runs a command every 50 ms until it succeeds, at most the given number of times; fails if it never does.
wait_until() { # tries command...
    for _ in $(seq "$1"); do "${@:2}" && return 0; sleep 0.05; done
    return 1
}

xsession_cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}

# A receiver on port 7699, standing in for a remote display: one "ms destination payload" line a datagram.
start_receiver() { # output seconds
    "$receiver" 7699 "$2" >"$1" &
    pids+=($!)
    wait_until 100 grep -q '^# listening' "$1" 2>/dev/null || fail "the receiver did not start"
}
# Twips of the window layouts to pixels of the client area (15 twips to a pixel at 96 dpi).
px() { echo $(( ($1 + 7) / 15 )); }
# Click the middle of a control given in window twips.
click() { # window left top width height
    xdotool mousemove --window "$1" "$(px $(( $2 + $4 / 2 )))" "$(px $(( $3 + $5 / 2 )))" click 1
}
# The id of a visible window whose title matches, if there is one now.
visible() { timeout 5 xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 | grep .; }
no_window() { ! visible "$1" >/dev/null; }
# Waits up to 20 s for the window, polling with plain searches: "search --sync" was seen to miss a window
# that was already mapped.
find_window() { wait_until 400 visible "$1"; }
# The Setting window's buttons (twips of its client area; the period group's at 0,1140).
OK=(3840 4260 1545 405)

# Load a period-set file through the Setting window's "Load set" button and the real file dialog.
load_period_set() { # settings-window file
    click "$1" 1860 3570 1395 375 # Load set
    local dialog
    dialog=$(find_window '^Load Period Set$') || fail "the file dialog did not appear"
    xdotool windowfocus --sync "$dialog" type --delay 5 "$2"
    xdotool key Return
    wait_until 100 no_window '^Load Period Set$' || fail "the file dialog did not close"
}

# Screenshots are kept for a reader to look at, where ImageMagick is installed.
screenshot() { # window file
    ! command -v import >/dev/null || import -window "$1" "$2"
}
