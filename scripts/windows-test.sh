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

source scripts/wine-prefix.sh
trap wine_prefix_stop EXIT
wine_prefix_start

cd build-win64
ctest -j"$(nproc)" --output-on-failure --timeout 900
