#!/usr/bin/env python3
# tarnwick-check as scripts use it: rows in, rows out in input order, the formats read back by Python's own
# readers, the options reaching the engine, usage and output errors. The program runs with the fake engine
# of support/FakeCheckRun.h (the last digit of a port decides the outcome, results come last row first), so
# nothing connects anywhere. usage: tst_checkcommand.py FAKE_CHECK REAL_CHECK DEFAULT_JUDGE
import csv, io, json, os, re, signal, subprocess, sys, unittest

FAKE, REAL, DEFAULT_JUDGE = sys.argv[1:4]
del sys.argv[1:4]
PREFIX = "tarnwick-check: "
FIELDS = ("address", "port", "type", "country", "answer", "anonymity", "reason")
NETWORKS = "127.0.0.0/8,::1/128"
OUTSIDE, RESERVED = "not checked: outside the allowed networks", "not checked: reserved address"
MADE_VISIBLE = re.compile("[\x00-\x1f\x7f-\x9f\u200e\u200f\u202a-\u202e\u2066-\u2069\\\\]")
SHORT_ESCAPES = {"\\": "\\\\", "\t": "\\t", "\n": "\\n", "\r": "\\r"}


def visible(text):
    return MADE_VISIBLE.sub(lambda c: SHORT_ESCAPES.get(c[0], "\\u{%04X}" % ord(c[0])), text)


def fake(kind, timeout=5000, concurrency=64, judge=DEFAULT_JUDGE):
    return ["", "", "fake: %s %d ms %d at once %s" % (kind, timeout, concurrency, judge)]


# Input rows as tarnwick-search's tsv holds them, and what each comes out with.
ROWS = [
    (["127.0.0.1", "8081", "HTTP", 'a,b "q"\tc'], ["8081", "elite", ""]),
    (["127.0.0.2", "8082", "socks4", "C\u00f4te d\u2019Ivoire \x01 \U0001d11e"], ["8082", "anonymous", ""]),
    (["::1", "8083", "", "x\\y\r\nz"], ["8083", "transparent", ""]),
    (["127.0.0.3", "1084", "https", "\u202e\x7f\x85"], ["", "", "refused"]),
    (["[::1]", "85", "x", ""], ["", "", "timed out"]),
    ([" 127.0.0.5 ", " 86 ", "x", ""], ["", "", "proxy said 407"]),
    (["127.0.0.6", "87", "x", ""], ["", "", "not a judge answer"]),
    (["127.0.0.7", "88", "x", ""], ["", "", "nonce missing"]),
    (["127.0.0.8", "90", "x", ""], ["", "", "TLS error"]),
    (["127.0.0.9", "89", "SOCKS4/SOCKS5", ""], fake("socks5")),
    (["127.0.0.9", "99", "Socks4 anonymous", ""], fake("socks4")),
    (["proxy.example", "8081", "", ""], ["", "", OUTSIDE]),
    (["192.0.2.1", "8081", "", ""], ["", "", RESERVED]),
    (["::ffff:203.0.113.9", "8081", "", ""], ["", "", RESERVED]),
]
TSV = "".join("\t".join(visible(field) for field in row) + "\n" for row, _ in ROWS)
KEYS = "127.0.0.10:1081\r\n\n  \n[::1]:1089\n127.0.0.11:70"  # CR LF, blank lines, no line feed at the end
KEY_ROWS = [(["127.0.0.10", "1081", "", ""], ["1081", "elite", ""]), (["::1", "1089", "", ""], fake("http"))]


def check(*arguments, program=FAKE, input="", stdout=subprocess.PIPE, stdin=None, env=None, **options):
    run = subprocess.run([program, *arguments], input=None if stdin is not None else input.encode(), stdin=stdin,
                         stdout=stdout, stderr=subprocess.PIPE, timeout=120,
                         env={**os.environ, "TARNWICK_CHECK_NETWORKS": NETWORKS, **(env or {})}, **options)
    lines = run.stderr.decode().splitlines()
    run.diagnostics = [line[len(PREFIX):] if line.startswith(PREFIX) else line for line in lines]
    return run


class CheckCommand(unittest.TestCase):
    def test_formats(self):
        rows = [row + result for row, result in ROWS + KEY_ROWS]
        # A port ending in 0 ends in a TLS error, in input order after the rows before it.
        rows.append(["127.0.0.11", "70", "", "", "", "", "TLS error"])
        cases = {  # how to read the output back, and what it holds
            "tsv": (lambda text: [line.split("\t") for line in text.split("\n")[:-1]],
                    [[visible(field) for field in row] for row in rows]),
            "csv": (lambda text: list(csv.reader(io.StringIO(text, newline=""))), [list(FIELDS)] + rows),
            "json": (lambda text: [[row[field] for field in FIELDS] for row in json.loads(text)], rows),
        }
        for format, (read, expected) in cases.items():
            with self.subTest(format):
                run = check("--format", format, input=TSV + KEYS)
                self.assertEqual((run.returncode, run.diagnostics), (0, ["4 of %d proxies answered" % len(rows)]))
                self.assertEqual(read(run.stdout.decode("utf-8")), expected)
        # tsv as tarnwick-search wrote it comes out with the same fields, byte for byte.
        run = check(input=TSV)
        self.assertEqual([line.split("\t")[:4] for line in run.stdout.decode().splitlines()],
                         [line.split("\t") for line in TSV.splitlines()])

    def test_answering(self):
        for format, empty in (("tsv", b""), ("csv", b"address,port,type,country,answer,anonymity,reason\r\n"),
                              ("json", b"[]\n")):
            with self.subTest(format):
                run = check("--answering", "--format", format, input=TSV)
                self.assertEqual(run.returncode, 0, run.stderr)
                if format == "json":
                    self.assertEqual([row["port"] for row in json.loads(run.stdout)], ["8081", "8082", "8083"])
                none = check("--answering", "--format", format, input="127.0.0.1:84\n192.0.2.1:81\n")
                self.assertEqual((none.returncode, none.stdout), (4, empty))
                self.assertEqual(check("--format", format).stdout, empty)  # no rows at all

    def test_many_rows_in_order(self):
        keys = ["127.0.%d.%d:%d" % (i // 250, i % 250 + 1, 1000 + i) for i in range(3000)]
        run = check("--format", "csv", input="\n".join(keys))
        self.assertEqual(run.returncode, 0)
        self.assertEqual([row[0] + ":" + row[1] for row in csv.reader(io.StringIO(run.stdout.decode()))][1:], keys)
        self.assertEqual(run.diagnostics, ["900 of 3000 proxies answered"])

    def test_options_reach_the_engine(self):
        cases = {
            "defaults, the kind from the type": ([], fake("socks5")),
            "each given": (["--timeout", "0.25", "--concurrency=3", "--proxy-type", "socks5", "--judge",
                            "https://[::1]:9/j"], fake("socks5", 250, 3, "https://[::1]:9/j")),
            "least": (["--timeout=0.1", "--concurrency", "1", "--proxy-type=socks4"], fake("socks4", 100, 1)),
            "most": (["--timeout", "60", "--concurrency", "1024", "--proxy-type", "http"], fake("http", 60000, 1024)),
        }
        for name, (arguments, result) in cases.items():
            with self.subTest(name):
                run = check(*arguments, input="127.0.0.1\t9\tsocks5\t\n")
                self.assertEqual((run.returncode, run.stdout.decode().split("\t")[4:]), (4, result[:2] + [result[2] + "\n"]))

    def test_malformed_lines(self):
        lines = ["127.0.0.1", "127.0.0.1:0", "127.0.0.1:65536", "::1:80", "127.1:80", "proxy_1.example:80",
                 "127.0.0.1\t80\tx", "127.0.0.1\t80\tx\ty\tz", "127.0.0.1\t80\tx\\q\ty", "127.0.0.1\t80\t\\u{D800}\t",
                 "\udcff:80", "127.0.0.1:8x", "[::1:80"]
        run = subprocess.run([FAKE], input="\n".join(lines + ["127.0.0.1:81"]).encode("utf-8", "surrogateescape"),
                             capture_output=True, env=dict(os.environ, TARNWICK_CHECK_NETWORKS=NETWORKS), timeout=60)
        self.assertEqual((run.returncode, run.stdout), (0, b"127.0.0.1\t81\t\t\t81\telite\t\n"))
        self.assertEqual(run.stderr.decode("utf-8", "replace").splitlines(), [PREFIX + line for line in [
            "line 1: not address:port: '127.0.0.1'", "line 2: not a port: '0'", "line 3: not a port: '65536'",
            "line 4: an IPv6 address is written [address]:port: '::1:80'", "line 5: not an address: '127.1'",
            "line 6: not an address: 'proxy_1.example'", "line 7: 3 tab-separated fields, not 4",
            "line 8: 5 tab-separated fields, not 4", "line 9: a backslash that starts no escape in the type",
            "line 10: a backslash that starts no escape in the type", "line 11: not UTF-8",
            "line 12: not a port: '8x'", "line 13: an IPv6 address is written [address]:port: '[::1:80'",
            "1 of 1 proxies answered"]])

    def test_usage_errors(self):
        cases = {
            "unknown option": (["--bogus"], "unknown option '--bogus'"),
            "one of Qt's own options": (["-platform", "x"], "unknown option '-platform'"),
            "an argument": (["rows.txt"], "unexpected argument 'rows.txt'"),
            "plain is tarnwick-search's": (["--format", "plain"], "unknown format 'plain' (tsv, csv or json)"),
            "proxy type": (["--proxy-type=https"], "unknown proxy type 'https' (http, socks4 or socks5)"),
            "judge not http": (["--judge", "ftp://127.0.0.1/"], "not an http or https address: 'ftp://127.0.0.1/'"),
            "flag with a value": (["--answering=yes"], "option '--answering' takes no value"),
            "option without its value": (["--timeout"], "option '--timeout' needs a value"),
            # Asking it would itself go where checks may not.
            "judge reserved": (["--judge", "http://192.0.2.1/judge"],
                               "judge http://192.0.2.1/judge: " + RESERVED),
            "judge a name under a guard": (["--judge=http://localhost:8047/judge"],
                                           "judge http://localhost:8047/judge: " + OUTSIDE),
        }
        for value in ("0.09", "60.001", "-1", "1e300", "inf", "nan", "5s"):
            cases["timeout " + value] = (["--timeout", value], "--timeout takes seconds from 0.1 to 60, not '%s'" % value)
        for value in ("0", "1025", "+8", " 8", "8.0", "0x8", ""):
            cases["concurrency '%s'" % value] = (["--concurrency", value],
                                                 "--concurrency takes a whole number from 1 to 1024, not '%s'" % value)
        for name, (arguments, message) in cases.items():
            for program in (FAKE, REAL):
                with self.subTest(name, program=program):
                    run = check(*arguments, program=program, input="127.0.0.1:81\n")
                    self.assertEqual((run.returncode, run.stdout, run.diagnostics[0]), (2, b"", message))

    def test_networks_malformed(self):
        # A guard that cannot be read allows nothing, and says why; the judge is refused with the rest.
        run = check(input="127.0.0.1:81\n", env={"TARNWICK_CHECK_NETWORKS": "127.0.0.0/33"})
        self.assertEqual((run.returncode, run.stdout), (2, b""))
        self.assertEqual(run.diagnostics, [
            "TARNWICK_CHECK_NETWORKS: not a network: '127.0.0.0/33' (write them as 127.0.0.0/8,::1/128); "
            "no address is checked", "judge %s: %s" % (DEFAULT_JUDGE, OUTSIDE)])

    def test_output_failures(self):
        full = ["write error: No space left on device"]
        cases = {  # arguments, stdout, SIGPIPE ignored, exit status, diagnostics
            "rows on a full disk": ([], "/dev/full", False, 1, full),
            "csv header on a full disk": (["--format=csv"], "/dev/full", False, 1, full),
            "help on a full disk": (["--help"], "/dev/full", False, 1, full),
            # The reader is gone: the program ends quietly, by the signal or with the status so far.
            "closed pipe": ([], None, False, -signal.SIGPIPE, []),
            "closed pipe, SIGPIPE ignored": ([], None, True, 0, []),
        }
        for name, (arguments, path, ignored, status, diagnostics) in cases.items():
            with self.subTest(name):
                if path:
                    out = os.open(path, os.O_WRONLY)
                else:
                    reader, out = os.pipe()
                    os.close(reader)
                run = check(*arguments, input=TSV, stdout=out, restore_signals=not ignored)
                os.close(out)
                self.assertEqual((run.returncode, run.diagnostics), (status, diagnostics))

    def test_unreadable_input(self):
        directory = os.open(os.path.dirname(os.path.abspath(__file__)), os.O_RDONLY)
        run = check(stdin=directory)
        os.close(directory)
        self.assertEqual((run.returncode, run.stdout, run.diagnostics), (2, b"", ["read error: Is a directory"]))

    def test_help_and_version(self):
        version = check("--version", program=REAL)
        self.assertEqual(version.returncode, 0)
        self.assertRegex(version.stdout.decode(), r"^tarnwick-check \d+\.\d\d\n$")
        help = check("--help", program=REAL).stdout.decode()
        for text in ("--answering", "--proxy-type", "TARNWICK_CHECK_NETWORKS", "(default %s)" % DEFAULT_JUDGE):
            self.assertIn(text, help)


if __name__ == "__main__":
    unittest.main()
