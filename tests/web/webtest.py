# What korvo-web's Python tests (and bench/web_bench.py) share: a private network namespace, the program,
# datagrams, a headless Chromium and waiting. Scripts exit 77 (skipped, the reason on the last line) where a
# namespace, Chromium or Selenium cannot be had; a failed check ends them with status 1.

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time


def skip(reason):
    print("SKIP: " + reason)
    sys.exit(77)


def fail(reason):
    sys.exit("FAIL: " + reason)


def enter_namespace():
    """Re-runs the calling script in a network namespace of its own, where only loopback exists."""
    if os.environ.get("KT_WEB_INSIDE") == "1":
        return subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    flags = ["-n"] if os.geteuid() == 0 else ["-r", "-n"]
    if not shutil.which("unshare") or not shutil.which("ip") or subprocess.run(["unshare", *flags, "true"]).returncode:
        skip("cannot make a network namespace here (unshare, ip)")
    os.execvpe("unshare", ["unshare", *flags, sys.executable, *sys.argv], {**os.environ, "KT_WEB_INSIDE": "1"})


class KorvoWeb:
    """korvo-web with the given options. What it prints goes to a file, so that it never waits for the test."""

    def __init__(self, program, *options):
        self.log = tempfile.NamedTemporaryFile(mode="w+", prefix="korvo-web-", suffix=".log")
        self.process = subprocess.Popen([program, *options], stderr=self.log)
        wait_for(lambda: "serving" in self.text() or self.process.poll() is not None, 10, "korvo-web to start")
        ports = re.search(r"serving port (\d+) .* UDP port (\d+)", self.text())
        if not ports:
            fail("korvo-web did not start: " + self.text())
        self.http_port, self.udp_port = int(ports[1]), int(ports[2])

    def text(self):
        with open(self.log.name) as log:
            return log.read()

    def memory_mib(self, field):
        """VmRSS (resident now) or VmHWM (the peak of resident memory)."""
        with open("/proc/%d/status" % self.process.pid) as status:
            return int(re.search(field + r":\s+(\d+)", status.read())[1]) / 1024

    def stop(self):
        """SIGTERM; returns the exit status (and kills a korvo-web that does not end)."""
        self.process.terminate()
        try:
            return self.process.wait(timeout=10)
        finally:
            self.process.kill()


def send(datagram, port=7699):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
        udp.sendto(datagram, ("127.0.0.1", port))


def chromium(width, height):
    """A headless Chromium through chromedriver."""
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        skip("python3-selenium is not installed")
    if not shutil.which("chromium") or not shutil.which("chromedriver"):
        skip("chromium or chromedriver is not installed")
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--hide-scrollbars",
                     "--disable-background-networking", "--window-size=%d,%d" % (width, height)):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


def wait_for(condition, timeout, what):
    """Polls `condition` until it returns something true; fails naming `what` (a text, or a function that
    says what was seen) after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > deadline:
            fail("waited %.1f s for %s" % (timeout, what() if callable(what) else what))
        time.sleep(0.02)
    return value
