#!/usr/bin/env python3
"""tarnwick-check over 10,000 loopback proxies (1,000 answering after 0 to 200 ms, 100 silent, the rest
refused) at concurrency 256 with a 2 s timeout, beside the floor that the delays and timeouts impose on
any checker of that concurrency and one curl per proxy under `xargs -P 256`, all in the same run. Also
the checker's CPU time, its peak memory and whether its verdicts are right, and whether the stand-in
site keeps up: a plain client over the answering proxies alone (the ones that keep the site busy) beside
their own floor.

Loopback only: every proxy and the judge are on 127.0.0.0/8, and every program run here has
TARNWICK_CHECK_NETWORKS set to loopback and no proxy settings of the environment.

Usage: check_vs_curl.py BUILD_DIR [ROUNDS]
"""
import asyncio
import heapq
import os
import random
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ANSWERING, SILENT, REFUSED = 1000, 100, 8900
CONCURRENCY = 256
TIMEOUT = 2.0
ROUNDS = 3
RUN_LIMIT = 300  # seconds any one run may take before it is killed
NETWORKS = "127.0.0.0/8,::1/128"


def environment():
    """Ours without proxy settings (the checker's one direct request to the judge must stay direct, and
    curl must take only the -x proxy), with the checker kept to loopback."""
    env = {name: value for name, value in os.environ.items() if not name.lower().endswith("_proxy")}
    env["TARNWICK_CHECK_NETWORKS"] = NETWORKS
    return env


def run(command, stdin_path, stdout=subprocess.DEVNULL):
    """Wall seconds, CPU seconds (user + sys of it and its waited-for children), peak MiB, exit status."""
    with open(stdin_path, "rb") as stdin:
        start = time.perf_counter()
        process = subprocess.Popen(command, stdin=stdin, stdout=stdout, stderr=subprocess.DEVNULL,
                                   env=environment())
        killer = threading.Timer(RUN_LIMIT, process.kill)
        killer.start()
        _, status, usage = os.wait4(process.pid, 0)
        elapsed = time.perf_counter() - start
        killer.cancel()
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024, os.waitstatus_to_exitcode(status)


def refused_sockets(count):
    """`count` loopback addresses on one port where nothing listens: each bound, none listening, so a
    connection is refused and no other program can take the address and port meanwhile."""
    sockets = []
    port = 0
    for i in range(count):
        bound = socket.socket()
        bound.bind(("127.30.%d.%d" % (i // 254, i % 254 + 1), port))
        port = bound.getsockname()[1]
        sockets.append(bound)
    return sockets


def request_time(host, port, judge, nonce):
    """Seconds for one request through an HTTP proxy, to the end of its answer."""
    request = b"GET %s?nonce=%s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % (judge.encode(), nonce.encode())
    start = time.perf_counter()
    with socket.create_connection((host, port), 5) as connection:
        connection.sendall(request)
        while connection.recv(65536):
            pass
    return time.perf_counter() - start


def floor(proxies, per_request):
    """The makespan of a perfect checker: each proxy in input order on the first of CONCURRENCY slots to
    come free; an answering one takes its delay and per_request, a silent one the timeout, a refused one
    nothing."""
    slots = [0.0] * CONCURRENCY
    end = 0.0
    for _, _, kind, delay in proxies:
        took = {"http-slow": delay / 1000 + per_request, "silent": TIMEOUT}.get(kind, 0.0)
        start = heapq.heappop(slots)
        heapq.heappush(slots, start + took)
        end = max(end, start + took)
    return end


async def plain_client(proxies, judge):
    """The checks with Python's own sockets, CONCURRENCY at once in input order, reading each answer to
    its end; wall seconds."""
    order = iter(enumerate(proxies))

    async def check(host, port, nonce):
        reader, writer = await asyncio.open_connection(host, port)
        writer.write(b"GET %s?nonce=p%d HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % (judge.encode(), nonce))
        await reader.read()
        writer.close()

    async def worker():
        for nonce, (host, port, _, _) in order:
            try:
                await asyncio.wait_for(check(host, port, nonce), TIMEOUT)
            except (OSError, asyncio.TimeoutError):
                pass

    start = time.perf_counter()
    await asyncio.gather(*(worker() for _ in range(CONCURRENCY)))
    return time.perf_counter() - start


def verdicts(output_path, proxies):
    """Counts of the checker's answered / timed out / refused rows, the rows whose verdict is wrong, the
    number of rows, and for each answer the milliseconds it took beyond the proxy's own delay."""
    expected = {"%s:%d" % (host, port): kind for host, port, kind, _ in proxies}
    counts = {"answered": 0, "timed out": 0, "refused": 0, "other": 0}
    wrong = []
    late = []
    delays = {"%s:%d" % (host, port): delay for host, port, _, delay in proxies}
    with open(output_path, encoding="utf-8") as output:
        rows = [line.rstrip("\n").split("\t") for line in output]
    for address, port, _, _, answer, anonymity, reason in rows:
        key = address + ":" + port
        found = "answered" if answer and anonymity == "elite" else reason if reason in counts else "other"
        counts[found] += 1
        if found != {"http-slow": "answered", "silent": "timed out", "refused": "refused"}[expected[key]]:
            wrong.append((key, expected[key], answer, anonymity, reason))
        if answer:
            late.append(int(answer) - delays[key])
    return counts, wrong, len(rows), late


def spread(seconds):
    """Median, lowest and highest, in milliseconds."""
    values = sorted(value * 1000 for value in seconds)
    return statistics.median(values), values[0], values[-1]


def main():
    build = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else ROUNDS
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = REFUSED + 2048  # the refused addresses' sockets, held here, and room for the rest
    if hard != resource.RLIM_INFINITY and hard < wanted:
        sys.exit(f"need {wanted} file descriptors, the hard limit is {hard}")
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, wanted), hard))  # the children inherit it

    directory = tempfile.TemporaryDirectory()
    listed = os.path.join(directory.name, "proxies.tsv")
    site = subprocess.Popen([f"{build}/listsite/tarnwick-listsite", "--port", "0", "--rows", "0",
                             "--proxy-mix", f"http-slow={ANSWERING},silent={SILENT}", "--proxy-list", listed],
                            stdout=subprocess.PIPE, text=True, env=environment())
    try:
        judge = "http://127.0.0.1:%s/judge" % site.stdout.readline().split()[1]
        proxies = []
        with open(listed) as file:
            for line in file:
                key, kind, _, delay = line.rstrip("\n").split("\t")
                host, port = key.rsplit(":", 1)
                proxies.append((host, int(port), kind, int(delay)))
        refused = refused_sockets(REFUSED)
        proxies += [(*bound.getsockname(), "refused", 0) for bound in refused]
        random.Random(1).shuffle(proxies)

        addresses = os.path.join(directory.name, "addresses.txt")
        with open(addresses, "w") as file:
            file.writelines("%s:%d\n" % (host, port) for host, port, _, _ in proxies)
        curl_input = os.path.join(directory.name, "curl.txt")
        with open(curl_input, "w") as file:
            file.writelines("http://%s:%d %s?nonce=c%d\n" % (host, port, judge, n)
                            for n, (host, port, _, _) in enumerate(proxies))

        # The constant per request: one after another through the ten quickest answering proxies.
        quickest = sorted((p for p in proxies if p[2] == "http-slow"), key=lambda p: p[3])[:10]
        per_request = statistics.median(request_time(host, port, judge, "f%d" % n) - delay / 1000
                                        for n, (host, port, _, delay) in enumerate(quickest))
        floor_time = floor(proxies, per_request)
        answering = [proxy for proxy in proxies if proxy[2] == "http-slow"]

        check = [f"{build}/cli/check/tarnwick-check", "--judge", judge, "--timeout", str(TIMEOUT),
                 "--concurrency", str(CONCURRENCY), "--format", "tsv"]
        curl = ["xargs", "-P", str(CONCURRENCY), "-n", "2", "curl", "-q", "-s", "-o", "/dev/null",
                "--max-time", str(TIMEOUT), "-x"]
        output_path = os.path.join(directory.name, "checked.tsv")
        checks, curls, plains, results = [], [], [], []
        for _ in range(rounds):
            with open(output_path, "wb") as output:
                checks.append(run(check, addresses, output))
            results.append(verdicts(output_path, proxies))
            plains.append(asyncio.run(plain_client(answering, judge)))
            curls.append(run(curl, curl_input))
    finally:
        site.terminate()
        site.wait()

    def cell(times):
        middle, low, high = spread(times)
        return f"{middle:8.0f} {f'({low:.0f} to {high:.0f})':>18}", middle

    floor_ms = floor_time * 1000
    check_wall, check_wall_ms = cell([c[0] for c in checks])
    check_cpu, check_cpu_ms = cell([c[1] for c in checks])
    curl_wall, curl_wall_ms = cell([c[0] for c in curls])
    curl_cpu, curl_cpu_ms = cell([c[1] for c in curls])
    peak = max(c[2] for c in checks)
    print(f"{len(proxies)} proxies ({ANSWERING} answering after 0 to 200 ms, {SILENT} silent, {REFUSED}"
          f" refused), concurrency {CONCURRENCY}, timeout {TIMEOUT:g} s; median of {rounds}"
          f" (lowest to highest)")
    print(f"  the floor counts {per_request * 1000:.2f} ms per answer beyond its delay (measured alone)")
    print(f"  {'':22}{'wall ms':>27}{'CPU ms':>27}")
    print(f"  {'floor':22}{floor_ms:8.0f}")
    print(f"  {'tarnwick-check':22}{check_wall}{check_cpu}")
    print(f"  {'xargs -P 256 curl':22}{curl_wall}{curl_cpu}")
    print(f"  check / floor {check_wall_ms / floor_ms:.2f} (goal <= 1.2)")
    print(f"  check / curl: wall {check_wall_ms / curl_wall_ms:.3f} (goal < 1),"
          f" CPU {check_cpu_ms / curl_cpu_ms:.3f} (goal <= 0.1)")
    print(f"  peak memory of tarnwick-check: {peak:.1f} MiB, the highest of the runs (goal <= 64)")
    answering_floor_ms = floor(answering, per_request) * 1000
    plain_ms, plain_low, plain_high = spread(plains)
    print(f"  the site: a plain client over the {len(answering)} answering proxies alone {plain_ms:.0f} ms"
          f" ({plain_low:.0f} to {plain_high:.0f}), their floor {answering_floor_ms:.0f} ms:"
          f" {plain_ms / answering_floor_ms:.2f}")
    for n, ((counts, wrong, rows, late), (_, _, peak_mib, status)) in enumerate(zip(results, checks)):
        print(f"  run {n + 1}: exit {status}, {peak_mib:.1f} MiB; {rows} rows: {counts['answered']} answered,"
              f" {counts['timed out']} timed out, {counts['refused']} refused, {counts['other']} other,"
              f" {len(wrong)} wrong; answers beyond the delay: median {statistics.median(late or [0]):.0f} ms,"
              f" highest {max(late or [0])} ms")
        for row in wrong[:5]:
            print("    wrong:", *row)


if __name__ == "__main__":
    main()
