#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine if needed, builds, and runs the whole test suite: against
# Qt 5.15 in build/, or with --qt6 against Debian's Qt 6 in build-qt6/.
#   scripts/test.sh [--qt6]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh "$@"
cd "$([ "${1:-}" = --qt6 ] && echo build-qt6 || echo build)"
ctest -j"$(nproc)" --output-on-failure --timeout 600
