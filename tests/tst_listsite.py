#!/usr/bin/env python3
# The stand-in list site's judge and stand-in proxies, spoken to with Python's own sockets.
# usage: tst_listsite.py TARNWICK_LISTSITE
import re, socket, subprocess, sys, unittest

LISTSITE = sys.argv.pop(1)
TIMEOUT = 10  # seconds any answer may take on a busy machine


def start_site(*arguments):
    site = subprocess.Popen([LISTSITE, "--port", "0", *arguments], stdout=subprocess.PIPE, text=True)
    site.port = int(re.fullmatch(r"port (\d+)\n", site.stdout.readline())[1])
    return site


def stop_site(site):
    site.terminate()
    site.wait(TIMEOUT)


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


if __name__ == "__main__":
    unittest.main()
