#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine if needed, builds, and runs the bridge in its run mode
# against the sample desktop application: type lines and read the replies; Ctrl-D or Ctrl-C ends.
#   scripts/demo.sh            the desktop application is already running
#   scripts/demo.sh --launch   nothing runs yet: type #OPEN_OXL# to have the bridge start it
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2

build=$(pwd)/build
TMPDIR=$(mktemp -d)
export TMPDIR
cleanup() {
    [ -n "${desktop:-}" ] && kill "$desktop" 2>/dev/null
    pkill -f "^$build/OXL.exe" 2>/dev/null
    rm -rf "$TMPDIR"
}
trap cleanup EXIT

if [ "${1:-}" = "--launch" ]; then
    echo "No desktop application runs yet: the bridge reports that it cannot find it." >&2
    echo "Type #OPEN_OXL# to start $build/OXL.exe, then type lines." >&2
else
    "$build/oxldesktop" &
    desktop=$!
    echo "The desktop application runs; the bridge connects after 2 seconds. Type lines." >&2
fi
"$build/oxlconsole" Calyxen
