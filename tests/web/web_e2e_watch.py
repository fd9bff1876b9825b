#!/usr/bin/python3
"""The browser's side of web_e2e.sh: shows korvo-web's page, records when each clock text and the PAUSED
marker appeared in the page (on CLOCK_MONOTONIC, like the receiver's stamps) until WORK/stop appears,
then compares with WORK/arrivals.txt and the clock window's caption in WORK/caption.

    web_e2e_watch.py WORK ARTIFACT-DIR"""

import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import webtest  # noqa: E402
from webtest import fail, wait_for  # noqa: E402

LIMIT_MS = 100
work, artifacts = sys.argv[1], sys.argv[2]
signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))  # the browser goes too
page = webtest.chromium(800, 450)
try:
    page.get("http://127.0.0.1:8080/")
    wait_for(lambda: page.execute_script("return document.getElementById('status').textContent") == "waiting for the clock",
             5, "the page")
    page.execute_script("""
        window.shown = [];
        const note = () => window.shown.push([performance.timeOrigin + performance.now(),
            document.getElementById('clock').textContent, !document.getElementById('paused').hidden]);
        new MutationObserver(note).observe(document.body, {subtree: true, childList: true, characterData: true, attributes: true});""")
    # The page's clock against CLOCK_MONOTONIC: the reading with the shortest round trip.
    offsets = []
    for _ in range(10):
        before = time.monotonic()
        ms = page.execute_script("return performance.timeOrigin + performance.now()")
        after = time.monotonic()
        offsets.append((after - before, ms - 500 * (before + after)))
    offset = min(offsets)[1]
    open(os.path.join(work, "watching"), "w").close()
    wait_for(lambda: os.path.exists(os.path.join(work, "stop")), 60, "the operator to finish")
    shown = [(ms - offset, clock, paused) for ms, clock, paused in page.execute_script("return window.shown")]
    page.save_screenshot(os.path.join(artifacts, "web-e2e.png"))
finally:
    page.quit()

arrivals = [line.split() for line in open(os.path.join(work, "arrivals.txt")) if not line.startswith("#")]
print("arrived (ms, destination, datagram) and shown in the page:")
late = []
paused = False
for ms, destination, datagram in arrivals:
    paused = datagram == "pause"
    clock = None if paused else datagram.split("t", 1)[1]
    delays = [when - float(ms) for when, text, marker in shown
              if when >= float(ms) - 1 and (marker if paused else text == clock and not marker)]
    delay = delays[0] if delays else None
    print("  %s %s %-9s %s" % (ms, destination, datagram, "never" if delay is None else "%.1f ms" % delay))
    if delay is None or delay > LIMIT_MS:
        late.append(datagram)
caption = open(os.path.join(work, "caption")).read().strip()
final = shown[-1] if shown else (0, "", False)
if len(arrivals) < 5 or arrivals[-1][2] != "pause":
    fail("expected at least four time datagrams and a pause, got %s" % [a[2] for a in arrivals])
if late:
    fail("shown later than %d ms or never: %s" % (LIMIT_MS, late))
if not caption.endswith("/" + final[1]) or not final[2]:
    fail('the clock window shows "%s", the page "%s" %s' % (caption, final[1], "paused" if final[2] else "running"))
print('PASS: the page shows "%s", paused, as the clock window "%s"' % (final[1], caption))
