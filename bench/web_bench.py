#!/usr/bin/python3
"""korvo-web's figures, measured in a private network namespace (loopback only), written as a JSON array of
figures in the shape `korvo-bench report` reads:

  - datagram sent -> its clock text in the page's DOM, p99, with a headless Chromium; the baseline is the
    same page polling /state once a second, as a page without a live channel would;
  - fan-out: 200 live clients, each must receive every update; datagram sent -> message read, p99;
  - korvo-web's CPU and resident memory while those 200 clients stay connected and the clock is silent.

    bench/web_bench.py --web build/default/app/web/korvo-web --out build/bench/parts/web.json [--smoke]

The page's clock (performance.timeOrigin + now) is mapped onto this process's CLOCK_MONOTONIC by the
reading with the shortest round trip, which leaves an error below a millisecond; the live clients' times
are the kernel's receive stamps."""

import argparse
import json
import multiprocessing
import os
import random
import selectors
import socket
import struct
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import webtest  # noqa: E402
from webtest import KorvoWeb, send, wait_for  # noqa: E402


def percentile(values, q):
    """Nearest rank, as korvo-bench computes it."""
    if not values:
        return None
    ordered = sorted(values)
    rank = max(1, -(-int(q * 1000) * len(ordered) // 1000))
    return ordered[min(rank, len(ordered)) - 1]


def figure(key, label, unit, project, baseline=None, goal=None, note=""):
    project, baseline = [None if v is None else round(v, 2) for v in (project, baseline)]
    return {"key": key, "label": label, "unit": unit, "korvo": project, "baseline": baseline,
            "goal": {"op": goal[0], "value": goal[1]} if goal else None, "note": note}


def clock_text(i):
    return "%02d:%02d" % (i // 60, i % 60)


# ---- The browser ------------------------------------------------------------------------------------------
def page_latency(web, samples, baseline_samples):
    page = webtest.chromium(1280, 720)
    try:
        page.get("http://127.0.0.1:%d/" % web.http_port)
        wait_for(lambda: page.execute_script("return document.getElementById('status').textContent") == "waiting for the clock",
                 10, "the page")
        page.execute_script("""
            window.seen = [];
            const clock = document.getElementById('clock');
            new MutationObserver(() => window.seen.push([performance.timeOrigin + performance.now(), clock.textContent]))
                .observe(clock, {subtree: true, childList: true, characterData: true});
            window.polled = [];
            const polled = document.body.appendChild(document.createElement('div'));
            polled.hidden = true;
            setInterval(async () => {
                const state = await (await fetch('/state')).json();
                if (state.clock !== polled.textContent) {
                    polled.textContent = state.clock;
                    window.polled.push([performance.timeOrigin + performance.now(), state.clock]);
                }
            }, 1000);""")
        readings = []
        for _ in range(20):
            before = time.monotonic()
            ms = page.execute_script("return performance.timeOrigin + performance.now()")
            after = time.monotonic()
            readings.append((after - before, ms / 1000 - (before + after) / 2))
        offset = min(readings)[1]

        def run(count, shortest, longest, first):
            sent = {}
            for i in range(first, first + count):
                sent[clock_text(i)] = time.monotonic()
                send(b"p1t" + clock_text(i).encode(), web.udp_port)
                time.sleep(random.uniform(shortest, longest))
            return sent

        live_sent = run(samples, 0.1, 0.1, 0)
        time.sleep(0.5)
        # At least a second apart, so the poller sees each; at random moments of its second, as a clock's
        # datagrams would be.
        polled_sent = run(baseline_samples, 1.0, 2.0, samples)
        time.sleep(1.5)
        seen, polled = page.execute_script("return [window.seen, window.polled]")
    finally:
        page.quit()

    def delays(sent, shown):
        first = {}
        for ms, text in shown:
            first.setdefault(text, ms / 1000 - offset)
        return [(first[text] - at) * 1000 for text, at in sent.items() if text in first], \
            sum(text not in first for text in sent)

    live, live_missed = delays(live_sent, seen)
    base, base_missed = delays(polled_sent, polled)
    return figure("web_dom_p99", "Web: datagram to text in the page's DOM, p99", "ms", percentile(live, 0.99),
                  percentile(base, 0.99), ("lt", 30),
                  "headless Chromium, %d datagrams 100 ms apart (p50 %.2f, max %.2f, %d never shown); baseline: the "
                  "page polling /state every second, %d datagrams 1-2 s apart (%d never shown)"
                  % (len(live_sent), percentile(live, 0.5) or 0, max(live or [0]), live_missed, len(polled_sent), base_missed))


# ---- Many live clients ------------------------------------------------------------------------------------
SO_TIMESTAMPNS = 35  # Linux; Python does not name it


def clients(port, count, ready, stop, results):
    """`count` live pages in one process: reads everything, answers pings, and keeps for each clock text the
    time the kernel received it (CLOCK_REALTIME, stamped on arrival), so that how late this process gets
    round to reading a socket is not part of the figure."""
    from wsproto import ConnectionType, WSConnection
    from wsproto.events import AcceptConnection, Ping, Request, TextMessage

    selector = selectors.DefaultSelector()
    pages = []
    for n in range(count):
        s = socket.create_connection(("127.0.0.1", port))
        s.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        ws = WSConnection(ConnectionType.CLIENT)
        s.sendall(ws.send(Request(host="127.0.0.1", target="/live")))
        s.setblocking(False)
        pages.append({"socket": s, "ws": ws, "arrived": {}, "open": False})
        selector.register(s, selectors.EVENT_READ, n)
    readied = False
    while not stop.is_set():
        for key, _ in selector.select(timeout=0.05):
            page = pages[key.data]
            try:
                data, ancillary, _, _ = page["socket"].recvmsg(1 << 16, 64)
            except BlockingIOError:
                continue
            now = time.time()
            for level, kind, stamp in ancillary:
                if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                    seconds, nanoseconds = struct.unpack("qq", stamp[:16])
                    now = seconds + nanoseconds / 1e9
            page["ws"].receive_data(data or None)
            for event in page["ws"].events():
                if isinstance(event, AcceptConnection):
                    page["open"] = True
                elif isinstance(event, TextMessage):
                    clock = json.loads(event.data)["clock"]
                    if clock is not None:
                        page["arrived"].setdefault(clock, now)
                elif isinstance(event, Ping):
                    page["socket"].sendall(page["ws"].send(event.response()))
            if not data:
                selector.unregister(page["socket"])
        if not readied and all(p["open"] for p in pages):
            ready.release()
            readied = True
    results.put([p["arrived"] for p in pages])


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def fan_out_and_idle(web, count, updates, idle_seconds):
    alone_mib = web.memory_mib("VmRSS")
    ready, stop, results = multiprocessing.Semaphore(0), multiprocessing.Event(), multiprocessing.Queue()
    workers = [multiprocessing.Process(target=clients, args=(web.http_port, count // 2, ready, stop, results))
               for _ in range(2)]
    for w in workers:
        w.start()
    for _ in workers:
        if not ready.acquire(timeout=30):
            webtest.fail("the live clients did not connect")
    time.sleep(0.5)
    sent = {}
    for i in range(updates):
        sent[clock_text(1000 + i)] = time.time()
        send(b"p1t" + clock_text(1000 + i).encode(), web.udp_port)
        time.sleep(0.05)
    time.sleep(0.5)

    cpu_before, wall_before = cpu_seconds(web.process.pid), time.monotonic()
    time.sleep(idle_seconds)
    cpu = (cpu_seconds(web.process.pid) - cpu_before) / (time.monotonic() - wall_before) * 100
    rss_mib, peak_mib = web.memory_mib("VmRSS"), web.memory_mib("VmHWM")
    stop.set()
    arrivals = [a for _ in workers for a in results.get(timeout=30)]
    for w in workers:
        w.join()

    delays = [(page[text] - at) * 1000 for page in arrivals for text, at in sent.items() if text in page]
    missed = sum(text not in page for page in arrivals for text in sent)
    return [
        figure("web_fanout_p99", "Web: %d live clients, datagram to message p99" % count, "ms", percentile(delays, 0.99),
               None, ("lt", 20), "%d updates 50 ms apart to each, stamped by the kernel on arrival at two processes of %d clients "
               "(p50 %.2f, max %.2f); %d of %d messages missed"
               % (updates, count // 2, percentile(delays, 0.5) or 0, max(delays or [0]), missed, updates * len(arrivals))),
        figure("web_idle_cpu", "Web: CPU, %d clients, clock silent" % count, "% core", round(cpu, 3), None, ("lt", 0.5),
               "korvo-web's user + system time over %d s" % idle_seconds),
        figure("web_rss", "Web: RSS with %d clients" % count, "MiB", round(rss_mib, 1), None, ("lt", 30),
               "peak %.1f MiB; %.1f MiB before the clients connected" % (peak_mib, alone_mib)),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--web", required=True, help="the korvo-web program")
    parser.add_argument("--out", required=True, help="where to write the figures (JSON)")
    parser.add_argument("--smoke", action="store_true", help="a short run that only proves the harness works")
    options = parser.parse_args()
    webtest.enter_namespace()
    samples, baseline, updates, idle = (20, 3, 10, 2) if options.smoke else (300, 20, 100, 30)
    print("web_bench: page latency (%d + %d datagrams)" % (samples, baseline), file=sys.stderr)
    web = KorvoWeb(options.web, "--http-port", "0")
    try:
        figures = [page_latency(web, samples, baseline)]
    finally:
        web.stop()
    print("web_bench: 200 live clients, %d updates, then %d s silent" % (updates, idle), file=sys.stderr)
    web = KorvoWeb(options.web, "--http-port", "0")
    try:
        figures += fan_out_and_idle(web, 200, updates, idle)
    finally:
        web.stop()
    os.makedirs(os.path.dirname(os.path.abspath(options.out)), exist_ok=True)
    part = {"section": "Web server (korvo-web)", "order": 60,
            "about": "korvo-web in a private network namespace, loopback only; pages in headless Chromium.",
            "columns": {"baseline": "Page polling /state", "floor": ""}, "figures": figures}
    with open(options.out, "w") as out:
        json.dump(part, out, indent=1)


if __name__ == "__main__":
    main()
