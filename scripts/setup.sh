#!/usr/bin/env bash
# Installs what building oxlconsole needs on Debian 12 (only what is missing; apt needs root)
# and builds it in build/: the named targets, or everything with the tests when none is named.
#   scripts/setup.sh [TARGET]...
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-missing.sh g++ cmake make qtbase5-dev python3

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ $# -gt 0 ]; then
    cmake --build build -j"$(nproc)" --target "$@"
else
    cmake --build build -j"$(nproc)"
fi
