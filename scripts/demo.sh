#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine if needed, builds the bridge and the sample desktop
# application, and runs the bridge in its run mode against it: type lines and read the replies;
# Ctrl-D or Ctrl-C ends.
#   scripts/demo.sh            the desktop application is already running
#   scripts/demo.sh --launch   nothing runs yet: type #OPEN_OXL# to have the bridge start it
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(pwd -P)/build
# The build's output is shown only when it fails, so that a run with nothing to build is quiet.
mkdir -p "$build"
if [ ! -x "$build/oxlconsole" ] || [ ! -x "$build/oxldesktop" ]; then
    echo "Installing what is missing and building the bridge and the sample desktop application..." >&2
fi
if ! scripts/setup.sh oxlconsole oxldesktop >"$build/demo-build.log" 2>&1; then
    cat "$build/demo-build.log" >&2
    exit 1
fi

TMPDIR=$(mktemp -d)
export TMPDIR
# The sample desktop application writes the process id of each start into this file, so that
# exactly the programs the bridge started here are ended.
launches=$TMPDIR/launches
desktop=
cleanup() {
    if [ -n "$desktop" ]; then
        kill "$desktop" 2>/dev/null || true
    fi
    if [ -f "$launches" ]; then
        local pid rest
        while IFS=$'\t' read -r pid rest; do
            # A start that found the name taken has already ended; its id may belong to
            # another program by now.
            if [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$build/OXL.exe" ]; then
                kill "$pid" 2>/dev/null || true
            fi
        done <"$launches"
    fi
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
OXL_DESKTOP_LAUNCH_LOG=$launches "$build/oxlconsole" Calyxen
