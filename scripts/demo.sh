#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool on a simulated bus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

BUILD=build
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKPX_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)"

if [ -x "$BUILD/sim/kpx-sim" ]; then
    mkdir -p run
    LINK="$PWD/run/ttyKPX"
    "$BUILD/sim/kpx-sim" --link "$LINK" &
    SIM=$!
    trap 'kill $SIM 2>/dev/null; wait $SIM 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -e "$LINK" ] && break; sleep 0.1; done
    "$BUILD/app/kpxtool" --port "$LINK" "$@"
else
    exec "$BUILD/app/kpxtool" "$@"
fi
