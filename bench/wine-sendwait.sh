#!/usr/bin/env bash
# The bridge's memory while it waits in a send and the desktop application streams to it, for
# the Windows build under wine64 (bench/sendwaitmemory.cpp). Run by hand; arguments go to
# sendwaitmemory, for example --mib 64 --write 65536 (one write of 64 MiB).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/windows-toolchain.sh
qt_prefix=${OXL_WIN_QT_PREFIX:-${OXL_WIN_CACHE:-$PWD/.cache}/qt5-win64}
cmake -S . -B build-win64 \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt_prefix" \
    -DCMAKE_BUILD_TYPE=Release -DOXL_BUILD_BENCH=ON >/dev/null
cmake --build build-win64 -j"$(nproc)" --target oxlconsole sendwaitmemory >/dev/null

source scripts/wine-prefix.sh
trap wine_prefix_stop EXIT
wine_prefix_start
"$wine64" build-win64/sendwaitmemory.exe "$@" build-win64/oxlconsole.exe
