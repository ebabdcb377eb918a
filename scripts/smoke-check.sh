#!/usr/bin/env bash
# Runs examples/client.py in a private temporary folder. Passes when
#   - with no desktop application serving OXL, the client gives up within 15 s, non-zero, saying so;
#   - against the sample desktop application it is greeted, its line is answered, and the bridge
#     exits with status 0 at the end of its input;
#   - without an argument, it runs build/oxlconsole beside its own folder (where PATH has no
#     oxlconsole), and with neither it prints its usage and exits non-zero.
#   scripts/smoke-check.sh DESKTOP BRIDGE     for example build/oxldesktop /usr/bin/oxlconsole
# OXL_SMOKE_RUNNER runs both programs through it, for example /usr/lib/wine/wine64; the bridge
# cannot then be found without an argument, and that run is left out.
set -euo pipefail
examples=$(cd "$(dirname "$0")/../examples" && pwd)
desktop=$1
bridge=$2
runner=()
[ -z "${OXL_SMOKE_RUNNER:-}" ] || runner=("$OXL_SMOKE_RUNNER")
python=$(python3 -c "import sys; print(sys.executable)")

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

fail() {
    echo "smoke check: $*" >&2
    exit 1
}

# Copies the client into a folder of its own, as examples/client.py of a checkout without a build.
copyClient() {
    mkdir -p "$TMPDIR/$1/examples"
    cp "$examples/client.py" "$TMPDIR/$1/examples/"
    echo "$TMPDIR/$1/examples/client.py"
}

# Runs the client command, its output in $output and $errors, its status in $status.
runClient() {
    status=0
    output=$("$@" </dev/null 2>"$TMPDIR/errors") || status=$?
    errors=$(<"$TMPDIR/errors")
    printf '%s\n' "$output"
    [ -z "$errors" ] || printf '%s\n' "$errors" >&2
    if grep -q Traceback <<<"$errors"; then
        fail "the client ended with a traceback"
    fi
}

# Nothing serves OXL yet: on Windows the pipe is one for the whole wine prefix.
started=$SECONDS
runClient python3 "$examples/client.py" "${runner[@]}" "$bridge"
[ "$status" -ne 0 ] || fail "the client ended with status 0 while nothing served OXL"
[ $((SECONDS - started)) -lt 15 ] || fail "the client took $((SECONDS - started)) s to give up"
grep -q "before the greeting came" <<<"$errors" || fail "the client did not say why it gave up"

mkdir "$TMPDIR/empty"
"${runner[@]}" "$desktop" </dev/null >/dev/null &
desktopPid=$!
if [ ${#runner[@]} -eq 0 ]; then
    client=$(copyClient checkout)
    mkdir "$TMPDIR/checkout/build"
    ln -s "$(realpath "$bridge")" "$TMPDIR/checkout/build/oxlconsole"
    runClient env PATH="$TMPDIR/empty" "$python" "$client"
else
    runClient python3 "$examples/client.py" "${runner[@]}" "$bridge"
fi
[ "$status" -eq 0 ] || fail "the client ended with status $status"
grep -qx 'connected: OXL desktop application ready' <<<"$output" || fail "the client was not greeted"
grep -qx 'answer: OXL received: hello' <<<"$output" || fail "no answer to the client's line"

client=$(copyClient bare)
runClient env PATH="$TMPDIR/empty" "$python" "$client"
[ "$status" -ne 0 ] || fail "the client without a bridge ended with status 0"
grep -q '^usage: ' <<<"$errors" || fail "the client without a bridge did not say how to call it"
