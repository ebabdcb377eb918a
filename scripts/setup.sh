#!/usr/bin/env bash
# Installs what building oxlconsole needs on Debian 12 (only what is missing; apt needs root)
# and builds it, with the tests, in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-missing.sh g++ cmake make qtbase5-dev

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
