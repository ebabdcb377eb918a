#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine if needed, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build
ctest -j"$(nproc)" --output-on-failure --timeout 600
