#!/usr/bin/python3
# The browser's side of the venue test (tests/display_e2e): starts korvo-web, shows its page and records when
# each clock text and the PAUSED marker appeared in it (on CLOCK_MONOTONIC, like the receiver's stamps) until
# WORK/stop appears; then every datagram in WORK/arrivals.txt must have been shown within 100 ms of its arrival,
# and the page must end showing what the clock window's caption (WORK/caption) shows, paused.
#
#   web_e2e_watch.py KORVO-WEB WORK ARTIFACT-DIR

import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from webtest import KorvoWeb, chromium, wait_for  # noqa: E402

program, work, artifacts = sys.argv[1:4]
signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))  # korvo-web and the browser go too
web, page = KorvoWeb(program), chromium(800, 450)
try:
    page.get("http://127.0.0.1:%d/" % web.http_port)
    wait_for(lambda: page.execute_script("return document.getElementById('status').textContent") ==
             "waiting for the clock", 5, "the page")
    page.execute_script("""
        window.shown = [];
        const note = () => window.shown.push([performance.timeOrigin + performance.now(),
            document.getElementById('clock').textContent, !document.getElementById('paused').hidden]);
        new MutationObserver(note).observe(document.body,
                                           {subtree: true, childList: true, characterData: true, attributes: true});""")
    # The page's clock against CLOCK_MONOTONIC: the reading with the shortest round trip.
    readings = [(time.monotonic(), page.execute_script("return performance.timeOrigin + performance.now()"),
                 time.monotonic()) for _ in range(10)]
    before, page_ms, after = min(readings, key=lambda r: r[2] - r[0])
    open(os.path.join(work, "watching"), "w").close()
    wait_for(lambda: os.path.exists(os.path.join(work, "stop")), 60, "the operator to finish")
    shown = [(when - page_ms + 500 * (before + after), text, paused)
             for when, text, paused in page.execute_script("return window.shown")]
    page.save_screenshot(os.path.join(artifacts, "web-e2e.png"))
finally:
    page.quit()
    web.stop()

# Each arrival (milliseconds on CLOCK_MONOTONIC, datagram) against the page's first showing of it. The clock's
# texts do not repeat, so no earlier showing can be taken for it; and the receiver, another process, may stamp
# an arrival a little after the page has shown it.
arrivals = [line.split()[::2] for line in open(os.path.join(work, "arrivals.txt")) if not line.startswith("#")]
delays = []
for ms, datagram in arrivals:
    clock = datagram.split("t", 1)[-1]
    delays.append((datagram, next((when - float(ms) for when, text, paused in shown
                                   if (paused if datagram == "pause" else text == clock and not paused)), None)))
print("the page showed (datagram, ms after arrival):", [(d, delay and round(delay, 1)) for d, delay in delays])
assert all(delay is not None and delay <= 100 for _, delay in delays), "shown later than 100 ms or never"
caption = open(os.path.join(work, "caption")).read().strip()
assert caption.endswith("/" + shown[-1][1]) and shown[-1][2], "the clock window: %s, page: %s" % (caption, shown[-1])
