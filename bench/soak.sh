#!/usr/bin/env bash
# Soak run, not part of CI: the bridge under traffic in both directions for OXL_SOAK_SECONDS
# (600 unless set) while the sample desktop application, echoing every byte, is killed and
# started again every few seconds. Prints the bridge's resident memory and open descriptors
# at the start (once the first connections have warmed it up) and at the end, each taken
# while it is connected, and what it wrote to standard error. Fails if memory moves by more
# than 10 %, the descriptor count changes, or the bridge does not end cleanly when its input
# ends.
#   bench/soak.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null

build=$(pwd)/build
seconds=${OXL_SOAK_SECONDS:-600}
warmupCycles=3
work=$(mktemp -d)
export TMPDIR=$work

cleanup() {
    for pid in ${feeder:-} ${desktop:-} ${bridge:-}; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# The client: 200 numbered lines every 50 ms or so, its count of lines kept in a file.
mkfifo "$work/input"
(
    sent=0
    while :; do
        printf 'soak line %09d abcdefghijklmnopqrstuvwxyz 0123456789\n' $(seq "$sent" $((sent + 199)))
        sent=$((sent + 200))
        echo "$sent" >"$work/sent"
        sleep 0.05
    done
) >"$work/input" &
feeder=$!

"$build/oxlconsole" Calyxen <"$work/input" > >(wc -c >"$work/output-bytes") 2>"$work/errors" &
bridge=$!

# Waits up to 5 s for the bridge to hold its connection, a socket among its descriptors.
connected() {
    for _ in $(seq 50); do
        find "/proc/$bridge/fd" -lname 'socket:*' 2>/dev/null | grep -q . && return 0
        sleep 0.1
    done
    return 1
}

sample() {
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$bridge/status")
    fds=$(find "/proc/$bridge/fd" -mindepth 1 | wc -l)
}

start=$(date +%s)
cycle=0
restarts=0
signals=(KILL TERM)
while :; do
    "$build/oxldesktop" --echo --greeting "" &
    desktop=$!
    cycle=$((cycle + 1))
    if ! connected; then
        echo "soak: the bridge did not connect in cycle $cycle" >&2
        exit 1
    fi
    sleep 2
    last=$(($(date +%s) - start >= seconds))
    if [ "$cycle" -eq "$warmupCycles" ]; then
        sample
        startRss=$rss startFds=$fds
        printf 'start (%d s): resident memory %d KiB, open descriptors %d\n' $(($(date +%s) - start)) "$rss" "$fds"
    elif [ "$last" -eq 1 ] && [ "$cycle" -gt "$warmupCycles" ]; then
        sample
        endRss=$rss endFds=$fds
        printf 'end (%d s): resident memory %d KiB, open descriptors %d\n' $(($(date +%s) - start)) "$rss" "$fds"
    fi
    kill -"${signals[cycle % 2]}" "$desktop"
    wait "$desktop" 2>/dev/null || true
    desktop=""
    restarts=$((restarts + 1))
    [ "$last" -eq 1 ] && [ -n "${endRss:-}" ] && break
    sleep 0.5
done

kill "$feeder"
wait "$feeder" 2>/dev/null || true
feeder=""
status=0
wait "$bridge" || status=$?
bridge=""
sleep 0.5
printf 'desktop restarts: %d, client lines sent: %d, bytes written by the bridge: %d, to standard error: %d\n' \
    "$restarts" "$(cat "$work/sent")" "$(cat "$work/output-bytes")" "$(wc -c <"$work/errors")"

if [ -s "$work/errors" ]; then
    echo "standard error of the bridge:"
    cat "$work/errors"
fi
growth=$(((endRss - startRss) * 100 / startRss))
printf 'resident memory change: %d %%, descriptors: %d -> %d, bridge exit status: %d\n' \
    "$growth" "$startFds" "$endFds" "$status"
if [ "${growth#-}" -gt 10 ] || [ "$startFds" -ne "$endFds" ] || [ "$status" -ne 0 ]; then
    echo "soak: FAILED" >&2
    exit 1
fi
echo "soak: passed"
