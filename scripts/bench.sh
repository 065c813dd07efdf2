#!/usr/bin/env bash
# Prints the benchmarks of setup.exe under Wine: the cleanup against its
# references, the launcher's own overhead, and the executable's size.
# BENCH_REPEATS sets how many runs each median takes (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-build.sh
exec /usr/bin/python3 bench/bench.py
