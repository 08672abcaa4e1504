#!/usr/bin/env python3
# The stand-in list site's judge and stand-in proxies, spoken to with Python's own sockets, and the list
# pages that show the proxies, searched by tarnwick-search.
# usage: tst_listsite.py TARNWICK_LISTSITE TARNWICK_SEARCH
import concurrent.futures, hashlib, os, re, socket, struct, subprocess, sys, tempfile, time, unittest
import urllib.request

LISTSITE, SEARCH = sys.argv[1:3]
del sys.argv[1:3]
TIMEOUT = 10  # seconds any answer may take on a busy machine
SILENCE = 1.5  # seconds without an answer that tell a silent proxy, far above a slow one's 200 ms
ROW = re.compile("<TR align=middle>\r\n" + "<TD>(.*?)</TD>\r\n" * 4)
OFF_LOOPBACK = "192.0.2.1"  # a documentation address: the proxies must refuse it without connecting


def start_site(*arguments):
    site = subprocess.Popen([LISTSITE, "--port", "0", *arguments], stdout=subprocess.PIPE, text=True)
    site.port = int(re.fullmatch(r"port (\d+)\n", site.stdout.readline())[1])
    return site


def list_rows(port):
    """The rows of the seven list pages, page after page, and a digest of their bytes."""
    rows, digest = [], hashlib.sha256()
    for page in range(7):
        with urllib.request.urlopen("http://127.0.0.1:%d/proxy_list.php?showpage=%d" % (port, page)) as answer:
            text = answer.read()
        digest.update(text)
        rows += ROW.findall(text.decode("latin-1"))
    return rows, digest.hexdigest()


def stop_site(site):
    site.terminate()
    site.wait(TIMEOUT)
    site.stdout.close()


def read_all(connection):
    data = b""
    while chunk := connection.recv(65536):
        data += chunk
    return data


def exchange(address, request, source="127.0.0.1"):
    """Sends request on a new connection from source and returns everything that comes back."""
    with socket.create_connection(address, TIMEOUT, (source, 0)) as connection:
        connection.sendall(request)
        return read_all(connection)


def split_answer(answer):
    head, _, body = answer.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    return int(lines[0].split()[1]), dict(line.split(": ", 1) for line in lines[1:]), body


class Judge(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site = start_site()

    @classmethod
    def tearDownClass(cls):
        stop_site(cls.site)

    def judge(self, target, headers=b"", source="127.0.0.1"):
        request = b"GET " + target + b" HTTP/1.1\r\nHost: judge\r\n" + headers + b"\r\n"
        return split_answer(exchange(("127.0.0.1", self.site.port), request, source))

    def test_headers_as_received(self):
        cases = {  # headers sent after Host, the lines the judge writes for them
            "order received, not sorted, repeats kept apart": (
                b"Zeta: 1\r\nalpha: 2\r\nZeta: 3\r\nREMOTE_ADDR: mine\r\n",
                ["Zeta: 1", "alpha: 2", "Zeta: 3", "REMOTE_ADDR: mine"]),
            "values as sent: percent escapes, empty, blanks round": (
                b"X-A: a%41b\r\nX-Empty:\r\nX-B: \t two  words \t\r\n",
                ["X-A: a%41b", "X-Empty: ", "X-B: two  words"]),
            "a folded line joins its header": (b"X-Fold: one\r\n \t two\r\n", ["X-Fold: one two"]),
            "control bytes, DEL, UTF-8 and backslashes written visibly": (
                b"X-C: a\x01b\x7f\xc3\xa9\\\r\nX-Line: a\rb\nc\r\n",
                ["X-C: a\\x01b\\x7F\\xC3\\xA9\\\\", "X-Line: a\\x0Db\\x0Ac"]),
        }
        for name, (headers, lines) in cases.items():
            with self.subTest(name):
                status, fields, body = self.judge(b"/judge?nonce=n1", headers)
                self.assertEqual((status, fields["Content-Type"]), (200, "text/plain; charset=utf-8"))
                expected = ["tarnwick-judge 1", "nonce n1", "address 127.0.0.1", "header Host: judge"]
                self.assertEqual(body.decode("ascii").split("\n"), expected + ["header " + l for l in lines] + [""])

    def test_address_seen(self):
        status, _, body = self.judge(b"/judge?nonce=n2", source="127.0.0.7")
        self.assertEqual((status, body.split(b"\n")[2]), (200, b"address 127.0.0.7"))

    def test_nonce(self):
        longest = b"aZ09-._~" * 8
        cases = {  # target, the nonce echoed or None for 400
            "among other parameters": (b"/judge?a=1&nonce=Ab-9._~&b", b"Ab-9._~"),
            "64 characters": (b"/judge?nonce=" + longest, longest),
            "65 characters": (b"/judge?nonce=" + longest + b"x", None),
            "missing": (b"/judge?other=1", None),
            "no query": (b"/judge", None),
            "empty": (b"/judge?nonce=", None),
            "twice": (b"/judge?nonce=a&nonce=a", None),
            "percent escape": (b"/judge?nonce=a%41", None),
            "unsafe character": (b"/judge?nonce=a<b", None),
            "space": (b"/judge?nonce=a+b", None),
        }
        for name, (target, nonce) in cases.items():
            with self.subTest(name):
                status, _, body = self.judge(target)
                if nonce is None:
                    self.assertEqual(status, 400)
                else:
                    self.assertEqual((status, body.split(b"\n")[1]), (200, b"nonce " + nonce))


def judge_request(nonce):
    return b"GET /judge?nonce=%s HTTP/1.1\r\nHost: judge\r\nX-Mine: kept\r\n\r\n" % nonce.encode()


def socks_open(protocol, proxy, host, port, timeout=TIMEOUT):
    """A connection through a SOCKS proxy to host:port, and the proxy's reply code (None: it closed)."""
    connection = socket.create_connection(proxy, timeout)
    try:
        if protocol == "socks5":
            connection.sendall(b"\x05\x01\x00")
            if read_exactly(connection, 2) != b"\x05\x00":
                return connection, None
            try:
                address = b"\x01" + socket.inet_aton(host)
            except OSError:
                address = b"\x03" + bytes([len(host)]) + host.encode()
            connection.sendall(b"\x05\x01\x00" + address + struct.pack(">H", port))
            reply = read_exactly(connection, 4)
            if reply[:1] == b"\x05" and reply[3:4] in (b"\x01", b"\x04"):
                read_exactly(connection, 6 if reply[3] == 1 else 18)
            return connection, reply[1] if len(reply) == 4 else None
        try:  # SOCKS4, or SOCKS4a for a name
            request = socket.inet_aton(host) + b"user\x00"
        except OSError:
            request = b"\x00\x00\x00\x01user\x00" + host.encode() + b"\x00"
        connection.sendall(b"\x04\x01" + struct.pack(">H", port) + request)
        reply = read_exactly(connection, 8)
        return connection, reply[1] if len(reply) == 8 else None
    except BaseException:
        connection.close()
        raise


def read_exactly(connection, count):
    data = b""
    while len(data) < count and (chunk := connection.recv(count - len(data))):
        data += chunk
    return data


def http_via(proxy, url, headers=b"X-Mine: kept\r\n", timeout=TIMEOUT):
    """An absolute-form GET through an HTTP proxy: status, header fields, body."""
    request = b"GET " + url.encode() + b" HTTP/1.1\r\nHost: judge\r\n" + headers + b"\r\n"
    with socket.create_connection(proxy, timeout) as connection:
        connection.sendall(request)
        return split_answer(read_all(connection))


def judge_lines(body):
    return body.decode("ascii").split("\n")


def verdict(proxy, protocol, site_port, nonce):
    """What a proxy checker concludes, from the judge's page through the proxy."""
    try:
        if protocol == "http":
            status, fields, body = http_via(proxy, "http://127.0.0.1:%d/judge?nonce=%s" % (site_port, nonce),
                                            timeout=SILENCE)
        else:
            connection, code = socks_open(protocol, proxy, "127.0.0.1", site_port, SILENCE)
            with connection:
                if code not in (0, 0x5A):
                    return "error"
                connection.sendall(judge_request(nonce))
                status, fields, body = split_answer(read_all(connection))
    except ConnectionRefusedError:
        return "refused"
    except TimeoutError:
        return "timeout"
    if status != 200:
        return "error"
    lines = judge_lines(body)
    if lines[:2] != ["tarnwick-judge 1", "nonce " + nonce] or len(body) != int(fields["Content-Length"]):
        return "altered"
    names = {line[7:].split(":")[0].lower(): line for line in lines if line.startswith("header ")}
    if "127.0.0.1" in names.get("x-forwarded-for", ""):
        return "transparent"
    return "anonymous" if "via" in names or "x-forwarded-for" in names else "elite"


class Proxies(unittest.TestCase):
    COUNT = 40

    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        listed = os.path.join(cls.directory.name, "proxies.tsv")
        cls.site = start_site("--rows", "13", "--seed", "7", "--proxies", str(cls.COUNT), "--proxy-list", listed)
        with open(listed) as file:
            cls.lines = file.read().splitlines()
        cls.proxies = []
        for line in cls.lines:
            key, kind, expected, delay = line.split("\t")
            host, port = key.rsplit(":", 1)
            cls.proxies.append((key, (host, int(port)), kind, expected, int(delay)))
        cls.rows, _ = list_rows(cls.site.port)

    @classmethod
    def tearDownClass(cls):
        stop_site(cls.site)
        cls.directory.cleanup()

    def first(self, kind):
        return next(proxy for key, proxy, k, *_ in self.proxies if k == kind)

    def test_list_file(self):
        self.assertEqual(len(self.lines), self.COUNT)
        for key, (host, port), kind, expected, delay in self.proxies:
            self.assertRegex(host, r"^127\.10\.\d+\.\d+$")
            self.assertGreater(port, 0)
            self.assertEqual(delay > 0, kind == "http-slow", key)
        self.assertEqual(len({proxy[0] for proxy in self.proxies}), self.COUNT)
        kinds = ["http-transparent", "http-anonymous", "http-elite", "http-slow", "socks5", "socks4", "refused",
                 "silent", "altering", "error-status"]
        self.assertCountEqual([proxy[2] for proxy in self.proxies[:10]], kinds)

    def test_pages_list_the_proxies(self):
        # Each proxy once, with its address and port; the made-up rows as the site shows them without proxies.
        listed = {proxy[0] for proxy in self.proxies}
        shown = [row for row in self.rows if row[0] + ":" + row[1] in listed]
        self.assertCountEqual([row[0] + ":" + row[1] for row in shown], listed)
        without = start_site("--rows", "13", "--seed", "7", "--proxies", "0")
        try:
            made_up, digest = list_rows(without.port)
        finally:
            stop_site(without)
        self.assertEqual([row for row in self.rows if row[0] + ":" + row[1] not in listed], made_up)
        # The pages of --proxies 0 byte for byte as before there were proxies.
        self.assertEqual(digest, "57eb0cd017cf09d6446827ec3e973e3e381624e8c10121784edbf77943f88095")
        # A search finds them: the SOCKS5 ones by their type.
        search = subprocess.run([SEARCH, "--site", "http://127.0.0.1:%d" % self.site.port, "--format", "plain",
                                 "--type", "socks5"], capture_output=True, text=True, timeout=120)
        types = {row[0] + ":" + row[1]: row[2] for row in shown}
        self.assertEqual(search.returncode, 0, search.stderr)
        self.assertLessEqual({key for key in listed if types[key] == "socks5"}, set(search.stdout.split()))
        self.assertIn(types[self.proxies[0][0]], ("transparent", "anonymous", "high anonymity", "socks5", "socks4"))

    def test_verdicts(self):
        # Every proxy, checked as a checker would through the protocol its row names, earns its verdict.
        types = {row[0] + ":" + row[1]: row[2] for row in self.rows}
        protocol = {"socks5": "socks5", "socks4": "socks4"}
        with concurrent.futures.ThreadPoolExecutor(16) as pool:
            found = pool.map(lambda p: verdict(p[1], protocol.get(types[p[0]], "http"), self.site.port, "v" + p[0][7:].replace(":", "-")),
                             self.proxies)
            self.assertEqual(list(found), [proxy[3] for proxy in self.proxies])

    def test_http_headers(self):
        sent = b"X-Mine: kept\r\nProxy-Connection: keep-alive\r\nConnection: keep-alive, X-Hop\r\nX-Hop: 1\r\n"
        cases = {  # kind, the headers the judge sees after Host and X-Mine
            "http-transparent": ["Via: 1.1 tarnwick-standin", "X-Forwarded-For: 127.0.0.1", "Connection: close"],
            "http-anonymous": ["Via: 1.1 tarnwick-standin", "Connection: close"],
            "http-elite": ["Connection: close"],
            "http-slow": ["Connection: close"],
        }
        for kind, added in cases.items():
            with self.subTest(kind):
                proxy = self.first(kind)
                status, _, body = http_via(proxy, "http://127.0.0.1:%d/judge?nonce=h1" % self.site.port, sent)
                self.assertEqual(status, 200)
                self.assertEqual(judge_lines(body)[1:], ["nonce h1", "address " + proxy[0], "header Host: judge",
                                                         "header X-Mine: kept"] + ["header " + a for a in added] + [""])

    def test_slow(self):
        key, proxy, _, _, delay = next(p for p in self.proxies if p[2] == "http-slow")
        started = time.monotonic()
        status, _, _ = http_via(proxy, "http://localhost:%d/judge?nonce=s" % self.site.port)
        self.assertEqual(status, 200)
        self.assertGreaterEqual(time.monotonic() - started, delay / 1000)

    def test_socks(self):
        cases = {  # protocol, target host, reply code expected
            "SOCKS5 to an IPv4 address": ("socks5", "127.0.0.1", 0),
            "SOCKS5 to localhost by name": ("socks5", "localhost", 0),
            "SOCKS4 to an IPv4 address": ("socks4", "127.0.0.1", 0x5A),
            "SOCKS4a to localhost by name": ("socks4", "localhost", 0x5A),
        }
        for name, (protocol, host, code) in cases.items():
            with self.subTest(name):
                proxy = self.first(protocol)
                connection, reply = socks_open(protocol, proxy, host, self.site.port)
                with connection:
                    self.assertEqual(reply, code)
                    connection.sendall(judge_request("k1"))
                    status, _, body = split_answer(read_all(connection))
                self.assertEqual((status, judge_lines(body)[1:]),
                                 (200, ["nonce k1", "address " + proxy[0], "header Host: judge", "header X-Mine: kept", ""]))

    def test_bytes_sent_early_and_ends(self):
        # All at once, before any reply, then the client's end: the proxy keeps what came early, passes it
        # on once connected and still answers in full.
        port = struct.pack(">H", self.site.port)
        cases = {  # kind, bytes sent, the proxy's own reply before the judge's answer
            "socks5": (b"\x05\x01\x00\x05\x01\x00\x01\x7f\x00\x00\x01" + port, b"\x05\x00\x05\x00\x00\x01"),
            "socks4": (b"\x04\x01" + port + b"\x7f\x00\x00\x01\x00", b"\x00\x5a" + port + b"\x7f\x00\x00\x01"),
            "http-elite": (b"", b""),
        }
        for kind, (opening, reply) in cases.items():
            with self.subTest(kind):
                proxy = self.first(kind)
                request = judge_request("e1")
                if kind == "http-elite":
                    request = request.replace(b"/judge", b"http://127.0.0.1:%d/judge" % self.site.port, 1)
                with socket.create_connection(proxy, TIMEOUT) as connection:
                    connection.sendall(opening + request)
                    connection.shutdown(socket.SHUT_WR)
                    answer = read_all(connection)
                self.assertTrue(answer.startswith(reply), answer[:20])
                status, _, body = split_answer(answer[len(reply) + (6 if kind == "socks5" else 0):])
                self.assertEqual((status, judge_lines(body)[1]), (200, "nonce e1"))

    def test_large_answers_pass_unchanged(self):
        # A list page of about 2 MB, far more than the proxy holds at once, through each kind that passes
        # bytes on, as the site serves it.
        large = start_site("--rows", "20000")
        try:
            path = "/proxy_list.php?showpage=3"
            with urllib.request.urlopen("http://127.0.0.1:%d%s" % (large.port, path)) as direct:
                page = direct.read()
            for kind in ("http-elite", "socks5", "socks4"):
                with self.subTest(kind):
                    proxy = self.first(kind)
                    if kind == "http-elite":
                        status, _, body = http_via(proxy, "http://127.0.0.1:%d%s" % (large.port, path))
                    else:
                        connection, _ = socks_open(kind, proxy, "127.0.0.1", large.port)
                        with connection:
                            connection.sendall(b"GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path.encode())
                            status, _, body = split_answer(read_all(connection))
                    self.assertEqual((status, len(body), body == page), (200, len(page), True))
        finally:
            stop_site(large)
        self.assertGreater(len(page), 2000000)

    def test_socks5_refusals(self):
        proxy = self.first("socks5")
        cases = {  # bytes after the greeting, or the greeting itself, and the reply
            "no method without authentication": (b"\x05\x01\x02", b"\x05\xff"),
            "BIND": (b"\x05\x01\x00\x05\x02\x00\x01\x7f\x00\x00\x01\x00\x50", b"\x05\x00\x05\x07"),
            "an address type of none": (b"\x05\x01\x00\x05\x01\x00\x09\x00", b"\x05\x00\x05\x08"),
        }
        for name, (request, reply) in cases.items():
            with self.subTest(name):
                self.assertEqual(exchange(proxy, request)[:len(reply)], reply)

    def test_off_loopback_targets_refused(self):
        # Each refused by the proxy's address check, which answers before any connection is tried: the
        # answer is the check's own (403 with its text, SOCKS5 "not allowed"), not a failed connection's
        # (502, SOCKS5 "refused" or "general failure"). A name is refused unlooked-up.
        for protocol, host in (("http", OFF_LOOPBACK), ("http", "example.com"), ("socks5", OFF_LOOPBACK),
                               ("socks5", "example.com"), ("socks4", OFF_LOOPBACK), ("socks4", "example.com")):
            with self.subTest(protocol + " to " + host):
                proxy = self.first("http-elite" if protocol == "http" else protocol)
                if protocol == "http":
                    status, _, body = http_via(proxy, "http://%s:%d/judge?nonce=x" % (host, self.site.port))
                    self.assertEqual((status, body), (403, b"tarnwick-listsite: this proxy connects to loopback targets only\n"))
                else:
                    connection, reply = socks_open(protocol, proxy, host, self.site.port)
                    with connection:
                        self.assertEqual((reply, read_all(connection)), (2 if protocol == "socks5" else 0x5B, b""))

    def test_http_requests_refused(self):
        proxy = self.first("http-elite")
        target = "127.0.0.1:%d" % self.site.port
        cases = {  # request line and headers, status
            "CONNECT": (b"CONNECT %s HTTP/1.1\r\n" % target.encode(), 405),
            "origin form": (b"GET /judge?nonce=o HTTP/1.1\r\n", 400),
            "a body": (b"GET http://%s/judge?nonce=o HTTP/1.1\r\nContent-Length: 1\r\n" % target.encode(), 400),
            "head too large": (b"GET http://%s/ HTTP/1.1\r\nX: %s\r\n" % (target.encode(), b"x" * 20000), 431),
            "nothing on the port": (b"GET http://127.0.0.1:1/ HTTP/1.1\r\n", 502),
            "IPv6 loopback, nothing there": (b"GET http://[::1]:%d/ HTTP/1.1\r\n" % self.site.port, 502),
        }
        for name, (head, status) in cases.items():
            with self.subTest(name):
                self.assertEqual(split_answer(exchange(proxy, head + b"Host: x\r\n\r\n"))[0], status)


class ProxyMix(unittest.TestCase):
    def test_kinds_and_counts_as_given(self):
        with tempfile.TemporaryDirectory() as directory:
            listed = os.path.join(directory, "proxies.tsv")
            site = start_site("--proxy-mix", "http-slow=30,silent=1,http-elite=2,silent=1", "--proxy-list", listed)
            try:
                with open(listed) as file:
                    lines = [line.split("\t") for line in file.read().splitlines()]
                proxies = [(tuple(key.rsplit(":", 1)), kind, expected) for key, kind, expected, _ in lines]
                found = [verdict((host, int(port)), "http", site.port, "x") for (host, port), kind, _ in proxies
                         if kind != "silent"]
            finally:
                stop_site(site)
        kinds = [line[1] for line in lines]
        self.assertEqual({kind: kinds.count(kind) for kind in kinds}, {"http-slow": 30, "silent": 2, "http-elite": 2})
        self.assertNotEqual(kinds[-2:], ["silent", "silent"])  # drawn, not in the order given
        delays = [int(line[3]) for line in lines if line[1] == "http-slow"]
        self.assertTrue(0 <= min(delays) < 50 and max(delays) <= 200, delays)
        self.assertEqual(found, ["elite"] * 32)

    def test_bad_mixes_refused(self):
        for mix in ("http-slow", "fast=1", "silent=1,", "silent=4000,refused=97", "silent=0"):
            with self.subTest(mix):
                site = subprocess.run([LISTSITE, "--proxy-mix", mix], capture_output=True, timeout=TIMEOUT)
                self.assertEqual(site.returncode, 2)


class ManyProxies(unittest.TestCase):
    def test_thousands_on_few_threads(self):
        with tempfile.TemporaryDirectory() as directory:
            listed = os.path.join(directory, "proxies.tsv")
            site = start_site("--proxies", "4096", "--proxy-list", listed)
            try:
                with open(listed) as file:
                    lines = [line.split("\t") for line in file.read().splitlines()]
                with open("/proc/%d/status" % site.pid) as status:
                    threads = int(re.search(r"^Threads:\s+(\d+)$", status.read(), re.M)[1])
                last = next(line for line in reversed(lines) if line[1] == "http-elite")
                host, port = last[0].rsplit(":", 1)
                answer = http_via((host, int(port)), "http://127.0.0.1:%d/judge?nonce=m" % site.port)
            finally:
                stop_site(site)
        self.assertEqual(len(lines), 4096)
        self.assertLess(threads, 32)
        self.assertEqual((answer[0], judge_lines(answer[2])[2]), (200, "address " + host))


if __name__ == "__main__":
    unittest.main()
