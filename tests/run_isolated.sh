#!/bin/sh
# Runs a test in a network namespace of its own that holds only loopback, where the machine allows it: a
# second guard, beside TARNWICK_CHECK_NETWORKS, that the checker's tests reach no address but loopback.
# Elsewhere the test runs as it is.
if command -v unshare >/dev/null && command -v ip >/dev/null \
    && unshare -rn sh -c 'ip link set lo up' 2>/dev/null; then
    exec unshare -rn sh -c 'ip link set lo up && exec "$0" "$@"' "$@"
fi
exec "$@"
