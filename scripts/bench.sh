#!/usr/bin/env bash
# Installs what is missing, builds the benchmark in Release and runs it: one table
# of KPX Tool's timing, start-up, memory and CPU figures against their targets.
# Arguments go to kpx-bench (--help lists them). Takes about a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

BUILD=build-bench
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKPX_TESTS=OFF -DKPX_BENCH=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target kpx-bench
exec "$BUILD/bench/kpx-bench" "$@"
