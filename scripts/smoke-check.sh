#!/usr/bin/env bash
# Runs examples/client.py against the sample desktop application in a private temporary folder.
# Passes when the client is greeted, its line is answered, and the bridge exits with status 0 at
# the end of its input.
#   scripts/smoke-check.sh DESKTOP BRIDGE     for example build/oxldesktop /usr/bin/oxlconsole
# OXL_SMOKE_RUNNER runs both programs through it, for example /usr/lib/wine/wine64.
set -euo pipefail
examples=$(cd "$(dirname "$0")/../examples" && pwd)
desktop=$1
bridge=$2
runner=()
[ -z "${OXL_SMOKE_RUNNER:-}" ] || runner=("$OXL_SMOKE_RUNNER")

TMPDIR=$(mktemp -d)
export TMPDIR
desktopPid=
cleanup() {
    if [ -n "$desktopPid" ]; then
        kill "$desktopPid" 2>/dev/null || true
        wait "$desktopPid" 2>/dev/null || true
    fi
    rm -rf "$TMPDIR"
}
trap cleanup EXIT

"${runner[@]}" "$desktop" </dev/null >/dev/null &
desktopPid=$!
status=0
output=$(python3 "$examples/client.py" "${runner[@]}" "$bridge" </dev/null) || status=$?
printf '%s\n' "$output"
if [ "$status" -ne 0 ]; then
    echo "smoke check: the client ended with status $status" >&2
    exit 1
fi
if ! grep -qx 'answer: OXL received: hello' <<<"$output"; then
    echo "smoke check: no answer to the client's line" >&2
    exit 1
fi
