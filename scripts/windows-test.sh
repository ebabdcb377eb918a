#!/usr/bin/env bash
# Builds the Windows x86-64 programs and their tests (scripts/windows-build.sh) and runs the
# test suite under wine64 in a private wine prefix, one test at a time where they share the
# pipe OXL.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/windows-build.sh
windows_build build-win64

source scripts/wine-prefix.sh
trap wine_prefix_stop EXIT
wine_prefix_start

cd build-win64
ctest -j"$(nproc)" --output-on-failure --timeout 900
