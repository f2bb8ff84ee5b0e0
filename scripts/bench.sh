#!/usr/bin/env bash
# Builds the project and runs the benchmarks against a PostgreSQL server started for the run.
#   scripts/bench.sh [--rows N] [--backend sqlite|postgresql|all]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build"
env_dir="$root/build/benchenv"
"$root/testing/test_env.sh" setup "$env_dir"
trap '"$root/testing/test_env.sh" teardown "$env_dir"' EXIT
QOR_TEST_ENV="$env_dir" "$root/build/bench/bulk_insert_bench" "$@"
