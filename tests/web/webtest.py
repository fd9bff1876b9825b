"""What korvo-web's Python tests share: a private network namespace, the program, HTTP and WebSocket
clients, datagrams, and a headless Chromium. Scripts exit 77 (skipped, the reason on the last line)
where a namespace, Chromium or Selenium cannot be had."""

import http.client
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIPPED = 77


def skip(reason):
    print("SKIP: " + reason)
    sys.exit(SKIPPED)


def fail(reason):
    print("FAIL: " + reason)
    sys.exit(1)


def enter_namespace():
    """Re-runs the calling script in a network namespace of its own, where only loopback exists."""
    if os.environ.get("KT_WEB_INSIDE") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        return
    flags = ["-n"] if os.geteuid() == 0 else ["-r", "-n"]
    for tool in ("unshare", "ip"):
        if shutil.which(tool) is None:
            skip(tool + " is not installed")
    probe = subprocess.run(["unshare", *flags, "true"], capture_output=True, text=True)
    if probe.returncode != 0:
        skip("cannot make a network namespace here: " + probe.stderr.strip())
    os.execvpe("unshare", ["unshare", *flags, sys.executable, *sys.argv], {**os.environ, "KT_WEB_INSIDE": "1"})


class KorvoWeb:
    """korvo-web running with the given options. What it prints goes to a file, not a pipe, so that the
    program never waits for the test to read."""

    def __init__(self, program, *options):
        self.log = tempfile.NamedTemporaryFile(mode="w+", prefix="korvo-web-", suffix=".log")
        self.process = subprocess.Popen([program, *options], stderr=self.log)
        found = wait_for(lambda: re.search(r"serving port (\d+) .* UDP port (\d+)", self.text()) or self.process.poll() is not None,
                         10, "korvo-web to start")
        if found is True:
            fail("korvo-web did not start: " + self.text())
        self.http_port, self.udp_port = int(found.group(1)), int(found.group(2))

    def text(self):
        with open(self.log.name) as log:
            return log.read()

    @property
    def lines(self):
        return self.text().splitlines()

    def memory_mib(self, field):
        """VmRSS (resident now) or VmHWM (the peak of resident memory) from /proc."""
        with open("/proc/%d/status" % self.process.pid) as status:
            return int(re.search(field + r":\s+(\d+)", status.read()).group(1)) / 1024

    def stop(self):
        """SIGTERM; returns the exit status."""
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return "hung"


def send(datagram, port=7699, host="127.0.0.1"):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
        udp.sendto(datagram, (host, port))


def get(port, path, timeout=5.0):
    """(status, headers, body) of a GET on a new connection."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        connection.request("GET", path)
        response = connection.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        connection.close()


class LivePage:
    """A client of /live (through wsproto, which does the WebSocket framing); answers pings as a browser does."""

    def __init__(self, port, receive_buffer=None):
        from wsproto import ConnectionType, WSConnection
        from wsproto.events import Request

        self.socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if receive_buffer:
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.socket.connect(("127.0.0.1", port))
        self.ws = WSConnection(ConnectionType.CLIENT)
        self.socket.sendall(self.ws.send(Request(host="127.0.0.1", target="/live")))
        self.messages = []
        self.accepted = False

    def pump(self, timeout):
        """Reads what arrives within `timeout` seconds into `messages`."""
        from wsproto.events import AcceptConnection, Ping, TextMessage

        self.socket.settimeout(timeout)
        try:
            self.ws.receive_data(self.socket.recv(1 << 16) or None)
        except (socket.timeout, OSError):
            return self
        for event in self.ws.events():
            if isinstance(event, AcceptConnection):
                self.accepted = True
            elif isinstance(event, TextMessage):
                self.messages.append(event.data)
            elif isinstance(event, Ping):
                self.socket.sendall(self.ws.send(event.response()))
        return self


def chromium(width, height):
    """A headless Chromium through chromedriver; nothing it does leaves the namespace."""
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        skip("python3-selenium is not installed")
    browser, driver = shutil.which("chromium"), shutil.which("chromedriver")
    if not browser or not driver:
        skip("chromium or chromedriver is not installed")
    options = webdriver.ChromeOptions()
    options.binary_location = browser
    profile = tempfile.mkdtemp(prefix="korvo-web-chromium-")
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--hide-scrollbars", "--user-data-dir=" + profile, "--window-size=%d,%d" % (width, height)):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    page = webdriver.Chrome(service=Service(driver), options=options)
    page.set_window_size(width, height)
    return page


def wait_for(condition, timeout, what):
    """Polls `condition` until it returns something true; fails naming `what` after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            fail("waited %.1f s for %s" % (timeout, what))
        time.sleep(0.02)
