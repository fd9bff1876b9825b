#!/usr/bin/python3
# korvo-web against hostile clients, on loopback in a network namespace of its own: malformed requests, 1 MiB
# of headers, paths that try to leave the built-in pages, unknown methods, 1,000 connections left idle, and a
# live page that never reads while 10,000 datagrams arrive (and a second korvo-web that finds the port taken).
# Throughout, a normal client asks for /state every 20 ms on a new connection and must be answered within
# 100 ms; korvo-web's peak resident memory must stay under 32 MiB, and every connection it let in must be gone
# at the end.
#
#   web_hostile.py KORVO-WEB [--sanitized]   (--sanitized: no bounds on time and memory, which the sanitizers
#                                             multiply; every answer and the cleanup are still checked)

import contextlib
import multiprocessing
import os
import re
import select
import socket
import subprocess
import sys
import time
import urllib.request

from wsproto import ConnectionType, WSConnection
from wsproto.events import Ping, Request, TextMessage

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from webtest import KorvoWeb, enter_namespace, send, wait_for  # noqa: E402

IDLE_TIMEOUT_S = 3
HEADERS = b" HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
HOSTILE = [
    ("no method", b"/state" + HEADERS, "closed"),
    ("request line without version", b"GET /\r\n\r\n", "closed"),
    ("1 MiB header", b"GET / HTTP/1.1\r\nX: " + b"a" * (1 << 20) + b"\r\n\r\n", "closed"),
    ("1 GiB body announced", b"GET / HTTP/1.1\r\nContent-Length: 1073741824\r\n\r\n" + b"x" * 40000, "closed"),
    ("parent folders behind a page", b"GET /clock.js/../../../etc/passwd" + HEADERS, "HTTP/1.1 404 Not Found"),
    ("encoded dots and slashes", b"GET /%2e%2e/..%2f..%2fetc%2fpasswd" + HEADERS, "HTTP/1.1 404 Not Found"),
    ("twice encoded", b"GET /%252e%252e/etc/passwd" + HEADERS, "HTTP/1.1 404 Not Found"),
    ("unknown method", b"BREW /" + HEADERS, "HTTP/1.1 405 Method Not Allowed"),
    ("live without upgrade", b"GET /live" + HEADERS, "HTTP/1.1 426 Upgrade Required"),
    ("upgrade without key", b"GET /live HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n", "closed"),
]


def normal_client(port, stop, results):
    """In a process of its own and, where allowed, ahead of the test's other work, so that the load the test
    makes itself is not counted against korvo-web. Puts (slowest answer, failures)."""
    with contextlib.suppress(OSError):
        os.nice(-10)
    worst, failures = 0.0, []
    while not stop.wait(0.02):
        start = time.monotonic()
        try:
            with urllib.request.urlopen("http://127.0.0.1:%d/state" % port, timeout=2) as response:
                if (response.status, response.headers["Cache-Control"], response.read(1)) != (200, "no-store", b"{"):
                    failures.append("answer %d %s" % (response.status, response.headers.items()))
        except OSError as error:
            failures.append(repr(error))
        worst = max(worst, time.monotonic() - start)
    results.put((worst, failures))


def answer(raw):
    """The status line of korvo-web's answer to raw bytes; "closed" when it closes the connection instead."""
    with socket.create_connection(("127.0.0.1", web.http_port), timeout=2) as client:
        try:
            client.sendall(raw)
            return client.makefile("rb").readline().rstrip().decode("latin-1") or "closed"
        except (ConnectionResetError, BrokenPipeError):
            return "closed"
        except TimeoutError:
            return "no answer within 2 s"


class LivePage:
    """A client of /live through wsproto, which does the WebSocket framing; answers pings as a browser does."""

    def __init__(self, receive_buffer=None):
        self.socket, self.ws, self.messages = socket.socket(), WSConnection(ConnectionType.CLIENT), []
        if receive_buffer:
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.socket.connect(("127.0.0.1", web.http_port))
        self.socket.sendall(self.ws.send(Request(host="127.0.0.1", target="/live")))

    def pump(self, timeout):
        """Takes in what arrives within `timeout` seconds (after the handshake, the state comes first)."""
        self.socket.settimeout(timeout)
        try:
            self.ws.receive_data(self.socket.recv(1 << 16) or None)
        except OSError:
            return self
        for event in self.ws.events():
            if isinstance(event, TextMessage):
                self.messages.append(event.data)
            elif isinstance(event, Ping):
                self.socket.sendall(self.ws.send(event.response()))
        return self


program, sanitized = sys.argv[1], "--sanitized" in sys.argv
enter_namespace()
web = KorvoWeb(program, "--verbose", "--idle-timeout", str(IDLE_TIMEOUT_S))
stop, results = multiprocessing.Event(), multiprocessing.Queue()
client = multiprocessing.Process(target=normal_client, args=(web.http_port, stop, results))
client.start()
try:
    second = subprocess.run([program, "--http-port", str(web.http_port)], capture_output=True, text=True, timeout=10)
    assert second.returncode == 1 and "already in use" in second.stderr, "a second korvo-web: %s" % second
    for name, raw, expected in HOSTILE:
        assert (got := answer(raw)) == expected, "%s: %s, expected %s" % (name, got, expected)

    # 1,000 connections opened and left idle (there is room for 512): every one is closed after the timeout.
    idle = [socket.create_connection(("127.0.0.1", web.http_port)) for _ in range(1000)]
    time.sleep(IDLE_TIMEOUT_S + 1.5)
    assert not (still := [s for s in idle if not select.select([s], [], [], 0)[0]]), "%d still open" % len(still)
    for s in idle:
        s.close()

    # A live page that never reads, a normal one, and 10,000 datagrams.
    deaf, page = LivePage(receive_buffer=4096), LivePage()
    wait_for(lambda: deaf.pump(0.1).messages and page.pump(0.1).messages, 3, "the live pages' first state")
    for i in range(10000):
        send(b"p1t%02d:%02d" % (i // 60, i % 60), web.udp_port)
        if i % 50 == 49:
            page.pump(0.005)
    # A flood loses datagrams in the kernel when the server falls behind; the one after it must arrive.
    wait_for(lambda: send(b"p2t99:59", web.udp_port) or '"99:59"' in page.pump(0.2).messages[-1], 10,
             "the normal page to get the time sent after the flood")
    wait_for(lambda: "dropped: it stopped reading" in web.text(), 3, "the deaf page to be dropped")
    page.socket.close()
    deaf.socket.close()
finally:
    stop.set()
    worst, failures = results.get(timeout=10)
    client.join()
    peak_mib = web.memory_mib("VmHWM")
    status = web.stop()

print("normal client: slowest answer %.1f ms; korvo-web peak RSS %.1f MiB" % (worst * 1000, peak_mib))
assert not failures, "the normal client failed %d times: %s" % (len(failures), failures[:3])
assert sanitized or worst <= 0.100, "the normal client waited %.1f ms" % (worst * 1000)
assert sanitized or peak_mib <= 32, "peak RSS %.1f MiB over the bound of 32 MiB" % peak_mib
assert re.findall(r"\((\d+) open\)", web.text())[-1:] == ["0"], "connections left open at the end"
assert status == 0, "korvo-web exited with %s" % status
