#!/usr/bin/env python3
# tarnwick-search as scripts use it, against the stand-in list site and a site of our own whose cells hold
# separators, quotes, line ends and non-ASCII text; and scripts/run.sh, which searches only the site it
# started itself. usage: tst_commandline.py TARNWICK_SEARCH TARNWICK_LISTSITE SOURCE_DIR BUILD_DIR
import csv, http.server, io, json, os, re, signal, socket, subprocess, sys, threading, unittest
import urllib.request

SEARCH, LISTSITE, ROOT, BUILD = sys.argv[1:5]
del sys.argv[1:5]
PREFIX = "tarnwick-search: "
FIELDS = ("address", "port", "type", "country")
ROWS = [
    ["192.0.2.1,1", "80", 'a,b "q"\tc', "x\\y\r\nz"],
    ["192.0.2.2", "8080", "Anonymous", "C\u00f4te d\u2019Ivoire \u20ac \U0001d11e \x01"],
    ["192.0.2.3", "3128", "anonymous", "Germany"],
    # The one byte to escape or quote in the middle of a long row, away from its first and last words.
    ["192.0.2.4", "1080", "elite", "Korea, Republic of the long name"],
    # Control and bidirectional characters, made visible in tsv and plain: the window's row, which must
    # print as the window shows and copies it; each byte that may start an escape alone in a long row and
    # in rows of under 8 and under 16 bytes; neighbours that stay as they are.
    ["198.51.100.1\nrm -rf ~", "80\t\x00\u202e1", "elite", "Nowhere"],
    ["192.0.2.5", "8081", "elite", "Somewhere in the middle \x85 of a long name"],
    ["192.0.2.6", "8082", "elite", "Somewhere in the \u2066middle\u2069 of a long name"],
    ["192.0.2.7", "8083", "elite", "Somewhere in the middle \x7f of a long name"],
    ["192.0.2.8", "8084", "elite", "Nothing\u00a0to\u202fescape\u2010here"],
    ["1", "2", "x", "\x7f"],
    ["3", "4", "x", "\x9b"],
    ["5", "6", "x", "\u200f"],
    # A carriage return without a line feed, quoted in csv: in rows of under 8, under 16 and over 16 bytes.
    ["7", "8", "\r", "x"],
    ["9", "10", "x", "a\rb"],
    ["192.0.2.9", "8085", "elite", "Somewhere in the middle \r of a long name"],
]
WINDOW_KEY = r"198.51.100.1\nrm -rf ~:80\t\u{0000}\u{202E}1"
MADE_VISIBLE = re.compile("[\x00-\x1f\x7f-\x9f\u200e\u200f\u202a-\u202e\u2066-\u2069\\\\]")
SHORT_ESCAPES = {"\\": "\\\\", "\t": "\\t", "\n": "\\n", "\r": "\\r"}


def visible(text):
    return MADE_VISIBLE.sub(lambda c: SHORT_ESCAPES.get(c[0], "\\u{%04X}" % ord(c[0])), text)


ROW = "<TR align=middle>\r\n" + "<TD>{}</TD>\r\n" * 4 + "</TR>\r\n"
SHORT_ROW = "<TR align=middle>\r\n<TD>192.0.2.9</TD>\r\n<TD>81</TD>\r\n</TR>\r\n"
# Under /rows the three rows after a row of two cells, and a repeated key on page 1; under /empty the
# short row alone.
PAGES = {
    "/rows/proxy_list.php?showpage=0": SHORT_ROW + "".join(ROW.format(*row) for row in ROWS),
    "/rows/proxy_list.php?showpage=1": ROW.format("192.0.2.3", "3128", "transparent", "Germany"),
    "/empty/proxy_list.php?showpage=0": SHORT_ROW,
}


class Site(http.server.BaseHTTPRequestHandler):
    asked = []

    def do_GET(self):
        Site.asked.append(self.path)
        body = ("<html><body><TABLE>\r\n" + PAGES.get(self.path, "") + "</TABLE></body></html>").encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def closed_pipe():
    reader, writer = os.pipe()
    os.close(reader)
    return writer


def search(*arguments, stdout=subprocess.PIPE, **options):
    run = subprocess.run([SEARCH, *arguments], stdout=stdout, stderr=subprocess.PIPE, timeout=120, **options)
    run.lines = run.stderr.decode().splitlines()
    run.status = [line for line in run.lines if not line.startswith(PREFIX)]
    run.diagnostics = [line[len(PREFIX):] for line in run.lines if line.startswith(PREFIX)]
    return run


class CommandLine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Site)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.ours = "http://127.0.0.1:%d" % cls.server.server_address[1]
        cls.standin = subprocess.Popen([LISTSITE, "--port", "0"], stdout=subprocess.PIPE, text=True)
        cls.site = "http://127.0.0.1:" + re.fullmatch(r"port (\d+)\n", cls.standin.stdout.readline())[1]
        # A port held but not listened on: every connection to it is refused at once.
        cls.closed = socket.socket()
        cls.closed.bind(("127.0.0.1", 0))
        cls.refused = "http://127.0.0.1:%d" % cls.closed.getsockname()[1]

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.standin.terminate()
        cls.standin.wait(10)
        cls.closed.close()

    def test_standin_site(self):
        # Every row of the seven pages in page order, a key listed before skipped.
        expected, repeats = {}, 0
        for page in range(7):
            with urllib.request.urlopen("%s/proxy_list.php?showpage=%d" % (self.site, page)) as answer:
                for row in re.findall("<TR align=middle>\r\n" + "<TD>(.*?)</TD>\r\n" * 4, answer.read().decode()):
                    repeats += row[0] + ":" + row[1] in expected
                    expected.setdefault(row[0] + ":" + row[1], "\t".join(row))
        run = search("--site", self.site + "/")
        self.assertEqual((run.returncode, run.stdout.decode().splitlines()), (0, list(expected.values())))
        self.assertEqual(len(run.status), 9)  # a progress text a page, the halt, the completion
        self.assertEqual(run.diagnostics, ["%d rows (%d repeated keys and 0 short rows skipped)" % (len(expected), repeats)])
        self.assertGreater(repeats, 0)
        # scripts/run.sh on a free port starts a site of its own, with the same rows and 60 stand-in proxies
        # among them (on ports the system picks), and searches it.
        free = self.run_script(0)
        rows = free.stdout.splitlines()
        proxies = [row for row in rows if row.startswith("127.10.")]
        self.assertEqual((free.returncode, [row for row in rows if row not in proxies]), (0, list(expected.values())),
                         free.stderr)
        self.assertEqual(len(proxies), 60)

    def test_formats(self):
        escaped = [[visible(field) for field in row] for row in ROWS]
        cases = {  # how to read the output back, and what it holds
            "tsv": (lambda text: [line.split("\t") for line in text.split("\n")[:-1]], escaped),
            "plain": (lambda text: [[line] for line in text.split("\n")[:-1]], [[a + ":" + p] for a, p, *_ in escaped]),
            "csv": (lambda text: list(csv.reader(io.StringIO(text, newline=""))), [list(FIELDS)] + ROWS),
            # The json reader refuses raw control characters inside strings.
            "json": (lambda text: [[row[field] for field in FIELDS] for row in json.loads(text)], ROWS),
        }
        for format, (read, expected) in cases.items():
            with self.subTest(format):
                run = search("--site", self.ours + "/rows", "--format", format)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual(run.diagnostics[-1], "%d rows (1 repeated key and 1 short row skipped)" % len(ROWS))
                self.assertEqual(read(run.stdout.decode("utf-8")), expected)
                if format == "plain":
                    self.assertEqual(read(run.stdout.decode("utf-8"))[4], [WINDOW_KEY])
                if format == "csv":  # quoted only where needed, and every record ends in CR LF
                    self.assertIn(b"\r\n192.0.2.2,8080,Anonymous,", run.stdout)
                    self.assertEqual(run.stdout.count(b"\r\n"), len(ROWS) + 2)  # the header and one CR LF in a field

    def test_filters(self):
        cases = {
            "type or type, letter case ignored": (["--type", "anonymous", "--type", 'A,B "Q"\tC'], [0, 1, 2]),
            "type and country": (["--type", "anonymous", "--country", "germany"], [2]),
            "non-ASCII country": (["--country", "C\u00d4TE D\u2019IVOIRE \u20ac \U0001d11e \x01"], [1]),
            "no row selected": (["--country", "Atlantis"], []),
        }
        for name, (arguments, rows) in cases.items():
            with self.subTest(name):
                run = search("--site", self.ours + "/rows", "--format", "json", *arguments)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual([row["address"] for row in json.loads(run.stdout)], [ROWS[i][0] for i in rows])
                self.assertTrue(run.diagnostics[-1].startswith("%d row" % len(rows)))

    def test_pages_without_rows(self):
        for format, output in (("tsv", b""), ("csv", b"address,port,type,country\r\n"), ("json", b"[]\n")):
            with self.subTest(format):
                run = search("--site", self.ours + "/empty", "--format", format)
                self.assertEqual((run.returncode, run.stdout), (4, output))
                self.assertEqual(run.diagnostics, ["every page loaded, but none held a row",
                                                   "0 rows (0 repeated keys and 1 short row skipped)"])

    def test_refused_port(self):
        # Refused at once: no page waits for its timeout, the least and the most one taken included.
        for timeout in ([], ["--timeout", "0.001"], ["--timeout=86400"]):
            with self.subTest(timeout=timeout):
                run = search("--site", self.refused, *timeout)
                self.assertEqual((run.returncode, run.stdout), (3, b""), run.stderr)
                for page in range(7):  # each progress text, then why its page failed
                    self.assertEqual(run.lines[2 * page], run.status[page])
                    self.assertRegex(run.lines[2 * page + 1], r"^%spage %d \(%s/proxy_list\.php\?showpage=%d\): \S"
                                     % (PREFIX, page, re.escape(self.refused), page))
                self.assertIn("7 of 7", run.status[-1])
                self.assertEqual(run.diagnostics[-1], "0 rows (0 repeated keys and 0 short rows skipped)")

    def test_usage_errors(self):
        cases = {
            "unknown option": (["--bogus"], "unknown option '--bogus'"),
            "one of Qt's own options": (["-platform", "x"], "unknown option '-platform'"),
            "unknown format": (["--format", "xml"], "unknown format 'xml' (tsv, plain, csv or json)"),
            "not an http address": (["--site=ftp://x/"], "not an http or https address: 'ftp://x/'"),
            "option without its value": (["--site"], "option '--site' needs a value"),
        }
        # Just outside the range (0.0009 rounds to a whole millisecond), and numbers no timeout can be. The
        # site refuses at once should one of them be taken.
        for value in ("0.0009", "86400.001", "-1", "1e300", "inf", "nan"):
            cases["timeout " + value] = (["--site", self.refused, "--timeout", value],
                                         "--timeout takes seconds from 0.001 to 86400, not '%s'" % value)
        for name, (arguments, message) in cases.items():
            with self.subTest(name):
                run = search(*arguments)
                self.assertEqual((run.returncode, run.stdout, run.diagnostics), (2, b"", [message]))

    def test_output_failures(self):
        full = ["write error: No space left on device"]
        cases = {  # arguments, stdout, SIGPIPE ignored, exit status, diagnostics
            "table on a full disk": (["--site", self.site], "/dev/full", False, 1, full),
            "help on a full disk": (["--help"], "/dev/full", False, 1, full),
            # Not written outweighs pages failed. Unlike tsv, csv has a line to write without rows.
            "failed pages on a full disk": (["--site", self.refused, "--format", "csv"], "/dev/full", False, 1, full),
            # The reader is gone: the program ends quietly, by the signal or without it.
            "closed pipe": (["--site", self.site], None, False, -signal.SIGPIPE, []),
            "closed pipe, SIGPIPE ignored": (["--site", self.site], None, True, 0, []),
        }
        for name, (arguments, path, ignored, status, diagnostics) in cases.items():
            with self.subTest(name):
                out = os.open(path, os.O_WRONLY) if path else closed_pipe()
                run = search(*arguments, stdout=out, restore_signals=not ignored)
                os.close(out)
                pages = [line for line in run.diagnostics if line.startswith("page ")]
                self.assertEqual((run.returncode, run.diagnostics[len(pages):]), (status, diagnostics))

    def run_script(self, port):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(TARNWICK_RUN_PORT=str(port), TARNWICK_SKIP_SETUP="1", TARNWICK_BUILD_DIR=BUILD)
        return subprocess.run([os.path.join(ROOT, "scripts", "run.sh")], env=env, capture_output=True, text=True,
                              timeout=90)

    def test_run_script_on_a_taken_port(self):
        # Another program holds the port: the script says so and searches nothing.
        port = self.server.server_address[1]
        del Site.asked[:]
        taken = self.run_script(port)
        self.assertNotEqual(taken.returncode, 0)
        self.assertIn("could not listen on 127.0.0.1:%d (is another program using the port?)" % port, taken.stderr)
        self.assertEqual((Site.asked, taken.stdout), ([], ""))


if __name__ == "__main__":
    unittest.main()
