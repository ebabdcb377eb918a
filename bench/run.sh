#!/usr/bin/env bash
# Builds the bridge and the benchmark programs in build-bench/ and measures the bridge against
# socat and the floor relay, alternating between them in every repetition. Run by hand on an
# otherwise quiet machine; arguments go to relaybench (for example --reps 7 or --lines 100000).
# OXL_QT_MAJOR=6 builds the bridge against Qt 6 instead of Qt 5.15.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v socat >/dev/null || { echo "bench/run.sh needs socat (apt-get install socat)" >&2; exit 1; }

build=$(pwd)/build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOXL_BUILD_TESTS=OFF -DOXL_BUILD_BENCH=ON \
    -DOXL_QT_MAJOR="${OXL_QT_MAJOR:-5}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target oxlconsole floorrelay relaybench >/dev/null

echo "load before: $(uptime)"
"$build/relaybench" "$@" \
    "bridge=$build/oxlconsole Calyxen" \
    "floor=$build/floorrelay" \
    "floor2=$build/floorrelay --reader-thread" \
    'socat=socat -b 65536 STDIO UNIX-CONNECT:$TMPDIR/OXL'
echo "load after: $(uptime)"
