"""scripts/run.sh searches only the stand-in list site it started itself: when another program holds the
port, it says so and ends with a failure before any search; on a free port it prints the site's table."""
import http.server
import os
import subprocess
import sys
import threading

root, build = sys.argv[1:3]
failures = []


class Stranger(http.server.BaseHTTPRequestHandler):
    """Some other web server on the port, answering every request with an empty page."""

    requests = []

    def do_GET(self):
        Stranger.requests.append(self.path)
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.end_headers()
        self.wfile.write(b"<html><body></body></html>")

    def log_message(self, *args):
        pass


def run(port):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(TARNWICK_RUN_PORT=str(port), TARNWICK_SKIP_SETUP="1", TARNWICK_BUILD_DIR=build)
    return subprocess.run([os.path.join(root, "scripts", "run.sh")], env=env, capture_output=True,
                          text=True, timeout=90)


def check(name, condition, result):
    if not condition:
        failures.append(f"{name}\n  exit status {result.returncode}\n  stderr: {result.stderr.strip()}")


stranger = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Stranger)
threading.Thread(target=stranger.serve_forever, daemon=True).start()
taken = stranger.server_address[1]
result = run(taken)
check("port taken: fails", result.returncode != 0, result)
check("port taken: says so",
      f"could not listen on 127.0.0.1:{taken} (is another program using the port?)" in result.stderr, result)
check("port taken: nothing searched", not Stranger.requests and result.stdout == "", result)
stranger.shutdown()

result = run(0)
rows = result.stdout.splitlines()
check("free port: succeeds", result.returncode == 0, result)
check("free port: prints the site's rows",
      len(rows) > 100 and all(len(row.split("\t")) == 4 for row in rows), result)

print("\n".join(failures) if failures else "run.sh: both cases as expected")
sys.exit(1 if failures else 0)
