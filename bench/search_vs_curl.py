#!/usr/bin/env python3
"""The headless search over seven pages of 20,000 rows (or ROWS) from the stand-in list site, beside curl fetching
the same seven pages one after another, measured in the same run (medians). Also the search's peak
memory.

Usage: search_vs_curl.py BUILD_DIR [ROWS]
"""
import os
import statistics
import subprocess
import sys
import time

RUNS = 9


def timed(command):
    """Wall time in seconds and peak resident memory in MiB of one run of `command`."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"{command[0]} exited with {process.returncode}")
    return elapsed, usage.ru_maxrss / 1024


def main():
    # Nothing here checks a proxy; should anything, it stays on loopback.
    os.environ["TARNWICK_CHECK_NETWORKS"] = "127.0.0.0/8,::1/128"
    build = sys.argv[1]
    rows = sys.argv[2] if len(sys.argv) > 2 else "20000"
    site = subprocess.Popen([f"{build}/listsite/tarnwick-listsite", "--port", "0", "--rows", rows],
                            stdout=subprocess.PIPE, text=True)
    try:
        port = site.stdout.readline().split()[1]
        base = f"http://127.0.0.1:{port}"
        urls = [f"{base}/proxy_list.php?showpage={n}" for n in range(7)]
        curl = ["curl", "-s", "--fail"]
        for url in urls:
            curl += ["-o", "/dev/null", url]
        search = [f"{build}/cli/tarnwick-search", "--site", base]

        timed(curl)  # the site builds its pages on first use
        curl_times, search_times, peaks = [], [], []
        for _ in range(RUNS):
            curl_times.append(timed(curl)[0])
            elapsed, peak = timed(search)
            search_times.append(elapsed)
            peaks.append(peak)
        curl_median = statistics.median(curl_times)
        search_median = statistics.median(search_times)
        print(f"seven pages of {rows} rows, median of {RUNS}:")
        print(f"  curl, one page after another: {curl_median * 1000:8.1f} ms")
        print(f"  tarnwick-search:              {search_median * 1000:8.1f} ms")
        print(f"  ratio search / curl: {search_median / curl_median:.2f} (goal <= 2.5)")
        goal = 96 if int(rows) * 7 >= 1000000 else 64
        print(f"  peak memory of the search: {max(peaks):.0f} MiB (goal <= {goal})")
    finally:
        site.terminate()
        site.wait()


if __name__ == "__main__":
    main()
