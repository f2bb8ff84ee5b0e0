#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test (unit, database tests on SQLite
# and on a PostgreSQL server that the run starts itself, offscreen window tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QOR_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja
cmake --build "$build"
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
