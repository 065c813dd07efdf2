#!/usr/bin/env bash
# Prints the benchmarks of setup.exe under Wine: the cleanup against its
# references, the launcher's own overhead, and the executable's size.
# BENCH_REPEATS sets how many runs each median takes (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 >/dev/null
scripts/wine-prefix.sh "$PWD/build/wine" >/dev/null
source scripts/wine-env.sh "$PWD/build/wine"
exec /usr/bin/python3 bench/bench.py
