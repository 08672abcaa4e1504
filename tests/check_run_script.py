"""scripts/run.sh searches only the stand-in list site it started itself: when another program holds the
port, it says so and fails before any search; on a free port it prints the site's table."""
import http.server
import os
import subprocess
import sys
import threading

root, build = sys.argv[1:3]
asked = []


class Stranger(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        asked.append(self.path)
        self.send_response(200)
        self.end_headers()


def run(port):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(TARNWICK_RUN_PORT=str(port), TARNWICK_SKIP_SETUP="1", TARNWICK_BUILD_DIR=build)
    return subprocess.run([os.path.join(root, "scripts", "run.sh")], env=env, capture_output=True,
                          text=True, timeout=90)


stranger = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Stranger)
threading.Thread(target=stranger.serve_forever, daemon=True).start()
taken = run(stranger.server_address[1])
free = run(0)
rows = free.stdout.splitlines()
failures = [name for name, good in [
    ("port taken: fails", taken.returncode != 0),
    ("port taken: says so", f"could not listen on 127.0.0.1:{stranger.server_address[1]} (is another "
                            "program using the port?)" in taken.stderr),
    ("port taken: nothing searched", not asked and not taken.stdout),
    ("free port: succeeds", free.returncode == 0),
    ("free port: the site's rows", len(rows) > 100 and all(row.count("\t") == 3 for row in rows)),
] if not good]
if failures:
    print("failed: " + ", ".join(failures))
    for name, result in (("port taken", taken), ("free port", free)):
        print(f"--- {name}: exit status {result.returncode}\n{result.stderr}")
sys.exit(1 if failures else 0)
