#!/usr/bin/env bash
# Installs what is missing, builds, starts the stand-in list site and opens the window on it.
# Without a display it says so and runs the headless search instead, printing the table.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh" run

"$root/build/listsite/tarnwick-listsite" --port 8047 &
site=$!
trap 'kill "$site" 2>/dev/null; wait "$site" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    if curl -s -o /dev/null "http://127.0.0.1:8047/"; then
        break
    fi
    if ! kill -0 "$site" 2>/dev/null; then
        echo "The list site could not start (is port 8047 in use?)" >&2
        exit 1
    fi
    sleep 0.1
done

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$root/build/app/Tarnwick" ]; then
    "$root/build/app/Tarnwick"
else
    echo "No display here: running the headless search instead (for the window: xvfb-run scripts/run.sh)."
    "$root/build/cli/tarnwick-search"
fi
