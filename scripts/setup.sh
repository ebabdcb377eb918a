#!/usr/bin/env bash
# Installs what building oxlconsole needs on Debian 12 (only what is missing; apt needs root)
# and builds it, with the tests: against Qt 5.15 in build/, or with --qt6 against Debian's Qt 6
# in build-qt6/. OXL_WARNINGS_AS_ERRORS=ON (as CI sets it) fails the build on any warning.
#   scripts/setup.sh [--qt6]
set -euo pipefail
cd "$(dirname "$0")/.."

case ${1:-} in
"") qt=5 qtPackage=qtbase5-dev tree=build ;;
--qt6) qt=6 qtPackage=qt6-base-dev tree=build-qt6 ;;
*) echo "usage: scripts/setup.sh [--qt6]" >&2; exit 2 ;;
esac

scripts/install-missing.sh g++ cmake make "$qtPackage"

cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOXL_QT_MAJOR=$qt \
    -DOXL_WARNINGS_AS_ERRORS="${OXL_WARNINGS_AS_ERRORS:-OFF}" >/dev/null
cmake --build "$tree" -j"$(nproc)"
