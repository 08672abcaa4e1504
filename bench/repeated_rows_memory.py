#!/usr/bin/env python3
"""Peak memory of the headless search over seven list pages of about 28 MiB that repeat one row: the
table keeps two rows, so what it holds should not grow with the rows it refuses. The pages are served
from this script on 127.0.0.1. With a second build directory, its search is measured in the same run.

Usage: repeated_rows_memory.py BUILD_DIR [BASELINE_BUILD_DIR]
"""
import http.server
import os
import subprocess
import sys

PAGE_BYTES = 28 * 1024 * 1024
ROW = (b"<TR align=middle>\r\n<TD>192.0.2.1</TD>\r\n<TD>8080</TD>\r\n<TD>anonymous</TD>\r\n"
       b"<TD>Germany</TD>\r\n</TR>\r\n")


def page(number):
    # One row of each page differs, so the table ends with a row from the first page and one more.
    other = ROW.replace(b"8080", b"%d" % (9000 + number % 2))
    body = ROW * ((PAGE_BYTES - len(other)) // len(ROW)) + other
    return b"<html><body>" + body + b"</body></html>"


PAGES = {}


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        number = int(self.path.rsplit("=", 1)[-1]) if "showpage=" in self.path else -1
        body = PAGES.get(number)
        if body is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def peak_mib(build, base):
    process = subprocess.Popen([f"{build}/cli/tarnwick-search", "--site", base],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    rows = process.stdout.read().count(b"\n")
    _, status, usage = os.wait4(process.pid, 0)
    return usage.ru_maxrss / 1024, rows, os.waitstatus_to_exitcode(status)


def serve():
    PAGES.update({n: page(n) for n in range(7)})
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


def main():
    # Nothing here checks a proxy; should anything, it stays on loopback.
    os.environ["TARNWICK_CHECK_NETWORKS"] = "127.0.0.0/8,::1/128"
    if sys.argv[1:] == ["--serve"]:
        serve()
        return
    # The pages are served from a process of their own: a child forked from one that holds them would
    # count them in its own peak.
    site = subprocess.Popen([sys.executable, __file__, "--serve"], stdout=subprocess.PIPE, text=True)
    try:
        base = f"http://127.0.0.1:{site.stdout.readline().strip()}"
        for build in sys.argv[1:3]:
            peak, rows, status = peak_mib(build, base)
            print(f"{build}: peak {peak:.0f} MiB, {rows} rows printed, exit {status} (goal < 80 MB)")
    finally:
        site.terminate()
        site.wait()


if __name__ == "__main__":
    main()
