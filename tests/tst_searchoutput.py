#!/usr/bin/env python3
"""The output formats and row filters of tarnwick-search, read back by Python's own csv and json
readers, against a site of our own whose cells hold separators, quotes, line ends and non-ASCII text.

usage: tst_searchoutput.py PATH_TO_TARNWICK_SEARCH
"""

import csv
import http.server
import io
import json
import subprocess
import sys
import threading
import unittest

SEARCH = sys.argv.pop(1) if len(sys.argv) > 1 else "tarnwick-search"

# address, port, type, country
ROWS = [
    ("192.0.2.1,1", "80", 'a,b "q"\tc', "x\\y\r\nz"),
    ("192.0.2.2", "8080", "Anonymous", "C\u00f4te d\u2019Ivoire \u20ac \U0001d11e \x01"),
    ("192.0.2.3", "3128", "anonymous", "Germany"),
]


def row_html(cells):
    return "<TR align=middle>\r\n<TD>" + "".join(c + "</TD>\r\n<TD>" for c in cells[:-1]) + cells[-1] + "</TD>\r\n</TR>\r\n"


SHORT_ROW = "<TR align=middle>\r\n<TD>192.0.2.9</TD>\r\n<TD>81</TD>\r\n</TR>\r\n"
REPEATED = row_html(("192.0.2.3", "3128", "transparent", "Germany"))
# Under /rows the three rows on page 0, after a row of two cells, and a repeated key on page 1;
# under /empty only the short row.
PAGES = {
    "/rows/proxy_list.php?showpage=0": SHORT_ROW + "".join(row_html(r) for r in ROWS),
    "/rows/proxy_list.php?showpage=1": REPEATED,
    "/empty/proxy_list.php?showpage=0": SHORT_ROW,
}


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = ("<html><body><TABLE>\r\n" + PAGES.get(self.path, "") + "</TABLE></body></html>").encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def search(site, *arguments):
    return subprocess.run([SEARCH, "--site", site, *arguments], capture_output=True, timeout=120)


def diagnostics(run):
    return [line for line in run.stderr.decode().splitlines() if line.startswith("tarnwick-search: ")]


def escaped(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


class SearchOutput(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.base = "http://127.0.0.1:%d" % cls.server.server_address[1]

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()

    def test_formats(self):
        tsv = "".join("\t".join(escaped(c) for c in row) + "\n" for row in ROWS)
        plain = "".join(escaped(row[0] + ":" + row[1]) + "\n" for row in ROWS)
        for format, expected in (("tsv", tsv), ("plain", plain), ("csv", None), ("json", None)):
            with self.subTest(format=format):
                run = search(self.base + "/rows", "--format", format)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual(diagnostics(run)[-1],
                                 "tarnwick-search: 3 rows (1 repeated key and 1 short row skipped)")
                text = run.stdout.decode("utf-8")
                if format == "csv":
                    self.assertEqual(list(csv.reader(io.StringIO(text, newline=""))),
                                     [["address", "port", "type", "country"]] + [list(r) for r in ROWS])
                    # Quoted only where needed, quotes doubled, every record ends in CR LF.
                    self.assertTrue(text.startswith('address,port,type,country\r\n"192.0.2.1,1",80,"a,b ""q""\tc",'
                                                    '"x\\y\r\nz"\r\n192.0.2.2,8080,Anonymous,'), text)
                    self.assertEqual(text.count("\r\n"), 5)
                elif format == "json":
                    keys = ("address", "port", "type", "country")
                    # The json reader refuses raw control characters inside strings.
                    self.assertEqual(json.loads(text), [dict(zip(keys, r)) for r in ROWS])
                else:
                    self.assertEqual(text, expected)

    def test_filters(self):
        cases = {
            "type, letter case ignored": (["--type", "ANONYMOUS"], [1, 2]),
            "type or type": (["--type", "anonymous", "--type", 'A,B "Q"\tC'], [0, 1, 2]),
            "type and country": (["--type", "anonymous", "--country", "germany"], [2]),
            "non-ASCII country": (["--country", "C\u00d4TE D\u2019IVOIRE \u20ac \U0001d11e \x01"], [1]),
            "no row selected": (["--country", "Atlantis"], []),
        }
        for name, (arguments, rows) in cases.items():
            with self.subTest(name):
                run = search(self.base + "/rows", "--format", "json", *arguments)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual([r["address"] for r in json.loads(run.stdout)], [ROWS[i][0] for i in rows])
                self.assertTrue(diagnostics(run)[-1].startswith("tarnwick-search: %d row" % len(rows)))

    def test_pages_without_rows(self):
        for format, output in (("tsv", b""), ("csv", b"address,port,type,country\r\n"), ("json", b"[]\n")):
            with self.subTest(format=format):
                run = search(self.base + "/empty", "--format", format)
                self.assertEqual(run.returncode, 4)
                self.assertEqual(run.stdout, output)
                self.assertEqual(diagnostics(run), ["tarnwick-search: every page loaded, but none held a row",
                                                    "tarnwick-search: 0 rows (0 repeated keys and 1 short row skipped)"])


if __name__ == "__main__":
    unittest.main()
