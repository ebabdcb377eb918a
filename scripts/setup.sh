#!/usr/bin/env bash
# Installs what building oxlconsole needs on Debian 12 (only what is missing; apt needs root)
# and builds it: against Qt 5.15 in build/, or with --qt6 against Debian's Qt 6 in build-qt6/;
# the named targets, or everything with the tests when none is named.
# OXL_WARNINGS_AS_ERRORS=ON (as CI sets it) fails the build on any warning.
#   scripts/setup.sh [--qt6] [TARGET]...
set -euo pipefail
cd "$(dirname "$0")/.."

qt=5 qtPackage=qtbase5-dev tree=build
if [ "${1:-}" = --qt6 ]; then
    qt=6 qtPackage=qt6-base-dev tree=build-qt6
    shift
fi

scripts/install-missing.sh g++ cmake make python3 "$qtPackage"

cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOXL_QT_MAJOR=$qt \
    -DOXL_WARNINGS_AS_ERRORS="${OXL_WARNINGS_AS_ERRORS:-OFF}" >/dev/null
if [ $# -gt 0 ]; then
    cmake --build "$tree" -j"$(nproc)" --target "$@"
else
    cmake --build "$tree" -j"$(nproc)"
fi
