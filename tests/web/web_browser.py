#!/usr/bin/python3
"""A real browser follows the clock through korvo-web, in a network namespace of its own: "--:--" first,
then the datagrams this test sends (time, period, PAUSED, the age after 2 s of silence), digits as large
as the window allows, a transparent overlay whose URL sets corner, scale and colours, and a page that
recovers by itself when korvo-web is restarted.

    web_browser.py KORVO-WEB ARTIFACT-DIR      (screenshots of /, of / paused on a phone and of /overlay go there)"""

import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import webtest  # noqa: E402
from webtest import KorvoWeb, fail, send, wait_for  # noqa: E402

program, artifacts = sys.argv[1], sys.argv[2]
webtest.enter_namespace()
os.makedirs(artifacts, exist_ok=True)
web = KorvoWeb(program)
page = webtest.chromium(1280, 720)
base = "http://127.0.0.1:%d" % web.http_port


def text(element):
    return page.execute_script("return document.getElementById(arguments[0]).textContent", element)


def shown(element):
    return page.execute_script("return !document.getElementById(arguments[0]).hidden", element)


def wait_text(element, expected, timeout=3):
    wait_for(lambda: text(element) == expected, timeout, '#%s to read "%s" (it reads "%s")' % (element, expected, text(element)))


def style(element, *properties):
    return page.execute_script("const s = getComputedStyle(document.getElementById(arguments[0]));"
                               "return arguments[1].map(p => s.getPropertyValue(p));", element, list(properties))


def viewport(width, height):
    page.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                         {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})


def digits_fill_the_width(size):
    """The clock's digits use 90-100 % of their box's width (both test sizes are limited by width)."""
    viewport(*size)
    share = "const b = document.getElementById('clock-box').getBoundingClientRect();" \
            "const c = document.getElementById('clock').getBoundingClientRect(); return c.width / b.width;"
    wait_for(lambda: 0.9 <= page.execute_script(share) <= 1.0, 3,
             "the digits to fill %dx%d (they take %.2f of the width)" % (size + (page.execute_script(share),)))


def pixel(png, x, y):
    return subprocess.run(["convert", png, "-format", "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]",
                           "-crop", "1x1+%d+%d" % (x, y), "info:"], capture_output=True, text=True).stdout


try:
    # ---- Before the clock is heard, then following it ----
    page.get(base + "/")
    wait_text("status", "waiting for the clock")
    if text("clock") != "--:--" or text("period") != "" or shown("paused"):
        fail("before any datagram the page shows %r, %r" % (text("clock"), text("period")))
    send(b"p1t10:00")
    wait_text("clock", "10:00")
    wait_text("period", "Period 1")
    wait_text("status", "from 127.0.0.1")
    send(b"p1t09:59")
    wait_text("clock", "09:59")
    send(b"p1t9:58")  # not a datagram of the clock: nothing changes
    send(b"pause")
    wait_for(lambda: shown("paused"), 3, "the PAUSED marker")
    paused_at = time.monotonic()
    if text("clock") != "09:59" or not text("paused").endswith("PAUSED"):
        fail("after pause the page shows %r, %r" % (text("clock"), text("paused")))
    wait_text("status", "from 127.0.0.1 \u2014 last update 2 s ago", timeout=4)
    silent = time.monotonic() - paused_at
    if not 2.0 < silent < 3.3:
        fail("the age appeared after %.2f s of silence, not just after 2 s" % silent)

    foreign = page.execute_script("return performance.getEntriesByType('resource')"
                                  ".map(e => e.name).filter(n => !n.startsWith(location.origin))")
    errors = [e["message"] for e in page.get_log("browser") if e["level"] == "SEVERE"]
    if foreign or errors:
        fail("requests to other hosts %s, console errors %s" % (foreign, errors))

    # ---- Digits as large as fit, landscape and phone ----
    send(b"p2t07:45")
    wait_text("clock", "07:45")
    wait_for(lambda: not shown("paused"), 3, "the PAUSED marker to go")
    digits_fill_the_width((1280, 720))
    page.save_screenshot(os.path.join(artifacts, "web-board.png"))
    send(b"pause")
    wait_for(lambda: shown("paused"), 3, "the PAUSED marker")
    digits_fill_the_width((390, 844))
    page.save_screenshot(os.path.join(artifacts, "web-phone.png"))

    # ---- The overlay: transparent, placed and coloured by its URL; bad values give the defaults ----
    viewport(960, 540)
    page.get(base + "/overlay?corner=bottom-left&scale=1.5&fg=ffff00&bg=00000080")
    wait_text("clock", "07:45")
    place = "const r = document.getElementById('strip').getBoundingClientRect();" \
            "return [Math.round(r.left), Math.round(innerWidth - r.right), Math.round(r.top), Math.round(innerHeight - r.bottom)];"
    left, _, _, bottom = page.execute_script(place)
    strip = style("strip", "color", "background-color", "font-size")
    if (left, bottom) != (16, 16) or strip != ["rgb(255, 255, 0)", "rgba(0, 0, 0, 0.5)", "42px"]:
        fail("the overlay strip is at left %d, bottom %d with %s" % (left, bottom, strip))
    page.execute_cdp_cmd("Emulation.setDefaultBackgroundColorOverride", {"color": {"r": 0, "g": 160, "b": 60, "a": 1}})
    overlay = os.path.join(artifacts, "web-overlay.png")
    page.save_screenshot(overlay)
    if shutil.which("convert") and pixel(overlay, 400, 100) != "0,160,60":
        fail("the overlay page is not transparent: %s over a green background" % pixel(overlay, 400, 100))
    page.get(base + "/overlay?corner=middle&scale=1e3&fg=red&bg=12345")
    wait_text("clock", "07:45")
    _, _, top, _ = page.execute_script(place)
    left = page.execute_script(place)[0]
    strip = style("strip", "color", "background-color", "font-size")
    if (left, top) != (16, 16) or strip != ["rgb(255, 255, 255)", "rgba(0, 0, 0, 0.7)", "28px"]:
        fail("bad overlay values did not fall back: left %d, top %d with %s" % (left, top, strip))

    # ---- korvo-web goes away and comes back ----
    page.get(base + "/")
    wait_text("clock", "07:45")
    status = web.stop()
    if status != 0:
        fail("korvo-web exited with %s on SIGTERM" % status)
    wait_for(lambda: "reconnecting" in text("status"), 3, "the page to say it is reconnecting")
    if text("clock") != "07:45":
        fail("the page dropped the last time while reconnecting: %r" % text("clock"))
    web = KorvoWeb(program)
    send(b"p3t01:00")
    wait_text("clock", "01:00", timeout=15)
    wait_text("status", "from 127.0.0.1")
finally:
    page.quit()
    web.stop()
print("PASS (screenshots in %s)" % artifacts)
