#!/usr/bin/env bash
# Runs the README's test command (bash scripts/test.sh) on a loaded machine: three busy processes per
# core run meanwhile, and a listener holds 127.0.0.1:8088, where a user's data service listens, and
# notes every request it receives. Fails when a test fails or when the listener received a request,
# and fails at once, before anything else, when that port is already taken. For developers to run
# before they stop; CI runs the test command alone.
set -euo pipefail
cd "$(dirname "$0")/.."
readonly PORT=8088

if (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; then
    echo "stress-tests: 127.0.0.1:$PORT is taken by another program; stop it and run again." >&2
    exit 1
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

bash scripts/install-deps.sh
g++ -std=c++17 -O1 -o "$work/request_trap" tools/request_trap.cpp
"$work/request_trap" "$PORT" "$work/requests.log" "$work/ready" &
pids+=($!)
for _ in $(seq 100); do
    [ -e "$work/ready" ] || ! kill -0 "${pids[0]}" 2>/dev/null && break
    sleep 0.1
done
if [ ! -e "$work/ready" ]; then
    echo "stress-tests: cannot listen on 127.0.0.1:$PORT." >&2
    exit 1
fi

busy=$((3 * $(nproc)))
for _ in $(seq "$busy"); do
    (while :; do :; done) &
    pids+=($!)
done
echo "stress-tests: $busy busy processes, a listener on 127.0.0.1:$PORT; running bash scripts/test.sh"

status=0
bash scripts/test.sh || status=$?

if [ -s "$work/requests.log" ]; then
    echo "stress-tests: the tests sent requests to 127.0.0.1:$PORT:" >&2
    cat "$work/requests.log" >&2
    status=1
fi
if [ "$status" -eq 0 ]; then
    echo "stress-tests: passed under load; no request reached 127.0.0.1:$PORT."
fi
exit "$status"
