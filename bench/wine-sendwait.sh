#!/usr/bin/env bash
# The bridge's memory while it waits in a send and the desktop application streams to it, for
# the Windows build under wine64 (bench/sendwaitmemory.cpp). Run by hand; arguments go to
# sendwaitmemory, for example --mib 64 --write 65536 (one write of 64 MiB).
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/windows-build.sh
windows_build build-win64 >/dev/null

source scripts/wine-prefix.sh
trap wine_prefix_stop EXIT
wine_prefix_start
"$wine64" build-win64/sendwaitmemory.exe "$@" build-win64/oxlconsole.exe
