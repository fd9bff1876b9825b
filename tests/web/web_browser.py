#!/usr/bin/python3
# A real browser follows the clock through korvo-web, in a network namespace of its own: "--:--" first, then
# the datagrams this test sends (time, period, PAUSED, the age after 2 s of silence), digits as large as the
# window allows, a transparent overlay whose URL sets corner, scale and colours (values it does not understand
# leave the defaults), and a page that recovers by itself when korvo-web restarts.
#
#   web_browser.py KORVO-WEB ARTIFACT-DIR    (screenshots of / and of /overlay go there)

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from webtest import KorvoWeb, chromium, enter_namespace, send, wait_for  # noqa: E402

program, artifacts = sys.argv[1:3]
enter_namespace()
os.makedirs(artifacts, exist_ok=True)
web, page = KorvoWeb(program), chromium(1280, 720)
base = "http://127.0.0.1:%d" % web.http_port


def view():
    """[clock, period, PAUSED or "" while hidden, status] as the page shows them."""
    return page.execute_script("const e = id => document.getElementById(id);"
                               "return [e('clock').textContent, e('period').textContent,"
                               "        e('paused').hidden ? '' : e('paused').textContent, e('status').textContent]")


def shows(*expected, timeout=3):
    wait_for(lambda: view() == list(expected), timeout, lambda: "the page to show %s, not %s" % (expected, view()))


def overlay(query):
    """The strip of /overlay?query: its gaps to the left, right, top and bottom, colour, background, font size."""
    page.get(base + "/overlay" + query)
    wait_for(lambda: view()[0] == "07:45", 3, "the overlay to show 07:45")
    return page.execute_script("const s = document.getElementById('strip'), r = s.getBoundingClientRect(),"
                               "      c = getComputedStyle(s);"
                               "return [r.left, innerWidth - r.right, r.top, innerHeight - r.bottom].map(Math.round)"
                               "       .concat(c.color, c.backgroundColor, parseFloat(c.fontSize))")


try:
    page.get(base + "/")
    shows("--:--", "", "", "waiting for the clock")
    send(b"p2t09:59")
    shows("09:59", "Period 2", "", "from 127.0.0.1")
    send(b"p2t9:58")  # not the clock's: ignored
    send(b"pause")
    shows("09:59", "Period 2", "PAUSED", "from 127.0.0.1")
    paused_at = time.monotonic()
    shows("09:59", "Period 2", "PAUSED", "from 127.0.0.1 \u2014 last update 2 s ago", timeout=4)
    assert 2.0 < time.monotonic() - paused_at < 3.3, "the age appeared after %.2f s" % (time.monotonic() - paused_at)
    # Nothing else can be reached here: a request to another host would be a console error too.
    assert not (errors := [e for e in page.get_log("browser") if e["level"] == "SEVERE"]), errors

    send(b"p2t07:45")
    shows("07:45", "Period 2", "", "from 127.0.0.1")
    page.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                         {"width": 960, "height": 540, "deviceScaleFactor": 1, "mobile": False})
    # The digits take 90-100 % of their box's width (a wide window limits them by width).
    share = "const w = id => document.getElementById(id).getBoundingClientRect().width;" \
            "return w('clock') / w('clock-box')"
    wait_for(lambda: 0.9 <= page.execute_script(share) <= 1.0, 3,
             lambda: "the digits to fill their box, not %.2f of it" % page.execute_script(share))
    page.save_screenshot(os.path.join(artifacts, "web-board.png"))

    default = overlay("")
    # Valid CSS, but not what the page takes: each must leave the default.
    for bad in ("?corner=middle&scale=9&fg=f00&bg=1234", "?scale=2e0"):
        assert overlay(bad) == default, "%s did not leave the defaults" % bad
    left, _, top, bottom, *look = overlay("?corner=bottom-left&scale=1.5&fg=ffff00&bg=00000080")
    assert (left, bottom, top > bottom) == (default[0], default[2], True), "not at the bottom left: %s" % [left, top]
    assert look == ["rgb(255, 255, 0)", "rgba(0, 0, 0, 0.5)", 1.5 * default[6]], look
    page.save_screenshot(os.path.join(artifacts, "web-overlay.png"))
    # Away from the strip, every element down to the root lets the picture under the overlay through.
    behind = page.execute_script("return document.elementsFromPoint(400, 100).map(e => getComputedStyle(e).background)")
    assert behind and all(b.startswith("rgba(0, 0, 0, 0) none") for b in behind), "not transparent: %s" % behind

    page.get(base + "/")
    wait_for(lambda: view()[:3] == ["07:45", "Period 2", ""], 3, "the page to show 07:45")
    assert web.stop() == 0, "korvo-web did not exit 0 on SIGTERM"
    wait_for(lambda: "reconnecting" in view()[3], 3, "the page to say it is reconnecting")
    assert view()[:3] == ["07:45", "Period 2", ""], "the page dropped the last state: %s" % view()
    web = KorvoWeb(program)
    send(b"p3t01:00")
    shows("01:00", "Period 3", "", "from 127.0.0.1", timeout=15)
finally:
    page.quit()
    web.stop()
