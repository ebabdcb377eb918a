#!/usr/bin/env bash
# Builds the Windows x86-64 programs and their tests with MinGW-w64 against a static Qt
# (prepared by scripts/windows-toolchain.sh) and runs the test suite under wine64 in a private
# wine prefix, one test at a time where they share the pipe OXL.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/windows-toolchain.sh
qt_prefix=${OXL_WIN_QT_PREFIX:-${OXL_WIN_CACHE:-$PWD/.cache}/qt5-win64}

cmake -S . -B build-win64 \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt_prefix" \
    -DCMAKE_BUILD_TYPE=Release -DOXL_WARNINGS_AS_ERRORS="${OXL_WARNINGS_AS_ERRORS:-OFF}" >/dev/null
cmake --build build-win64 -j"$(nproc)"

wine_dir=$(dirname "$(dpkg -L wine64 | grep -m1 '/wine64$')")
WINEPREFIX=$(mktemp -d)
export WINEPREFIX WINEDEBUG=-all
unset DISPLAY
cleanup() {
    # Ends every program left in the prefix, such as desktop applications the tests started.
    "$wine_dir/wineserver64" -k 2>/dev/null || true
    "$wine_dir/wineserver64" -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

echo "Setting up the wine prefix $WINEPREFIX" >&2
WINEDLLOVERRIDES="mscoree,mshtml=" "$wine_dir/wine64" wineboot -i </dev/null >/dev/null 2>&1
# Without a null graphics driver every Qt program makes wine start a desktop process at start-up,
# which can wait for seconds on services that never come up.
"$wine_dir/wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
"$wine_dir/wineserver64" -w
# One persistent server for the whole run spares each test program the start of its own.
"$wine_dir/wineserver64" -p </dev/null >/dev/null 2>&1
# The first program on a fresh server starts wine's service processes, which then keep that
# program's standard handles, and so ctest's pipes, open for good: let a program with null
# streams be the first.
"$wine_dir/wine64" wineboot </dev/null >/dev/null 2>&1

cd build-win64
# Wine's timing on a loaded machine varies widely; a test program that fails is run once more,
# and one that fails twice in a row fails the run.
ctest -j"$(nproc)" --output-on-failure --timeout 600 --repeat until-pass:2
