#!/usr/bin/env bash
# Installs what is missing, builds, starts the stand-in list site with 60 stand-in proxies and opens the
# window on it; the window's Check All finds which of them answer its judge. Checks may go to loopback
# only. Without a display it says so and runs the headless search instead, printing the table.
#
# For tests and other setups: TARNWICK_SKIP_SETUP=1 skips installing and building, TARNWICK_BUILD_DIR names
# the build (default build-release/), TARNWICK_RUN_PORT the site's port (default 8047, where the window
# looks for it; 0 picks a free port, and the headless search runs on it, as the window cannot follow).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TARNWICK_BUILD_DIR:-$root/build-release}"
window_port=8047
port="${TARNWICK_RUN_PORT:-$window_port}"
if [ "${TARNWICK_SKIP_SETUP:-}" != 1 ]; then
    "$root/scripts/setup.sh" run
fi

# The site prints "port N" once it listens, and ends at once when it cannot. Only that line proves that it
# is our site answering on the port: whatever else answers there is a stranger, and is never searched.
# The proxies listen on 127.10.x.y; the list's other rows have documentation addresses, which the checker
# refuses before any connection. The guard keeps every check on this machine whatever the list holds.
export TARNWICK_CHECK_NETWORKS=127.0.0.0/8,::1/128
exec {site_output}< <(exec "$build/listsite/tarnwick-listsite" --port "$port" --proxies 60)
site=$!
trap 'kill "$site" 2>/dev/null; wait "$site" 2>/dev/null || true' EXIT
ready=""
read -r -t 30 ready <&"$site_output" || true
if [[ ! "$ready" =~ ^port\ ([0-9]+)$ ]] || { [ "$port" != 0 ] && [ "${BASH_REMATCH[1]}" != "$port" ]; }; then
    echo "scripts/run.sh: the stand-in list site could not listen on 127.0.0.1:$port (is another program" \
        "using the port?); stopping rather than searching whatever answers there." >&2
    exit 1
fi
port="${BASH_REMATCH[1]}"

if [ "$port" = "$window_port" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build/app/Tarnwick" ]; then
    "$build/app/Tarnwick"
    exit
fi
# Notes go to stderr, so that stdout holds the table alone.
if [ "$port" != "$window_port" ]; then
    echo "The window looks for the list site on port $window_port: running the headless search on port $port instead." >&2
else
    echo "No display here: running the headless search instead (for the window: xvfb-run scripts/run.sh)." >&2
fi
"$build/cli/tarnwick-search" --site "http://127.0.0.1:$port"
