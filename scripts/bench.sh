#!/usr/bin/env bash
# Prints the benchmarks of setup.exe under Wine: the cleanup against its
# references, the launcher's own overhead, the executable's size, and
# setup-preflight's time on a full runtime and a large installer jar.
# BENCH_REPEATS sets how many runs each median takes (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-build.sh
cmake --preset host >/dev/null
cmake --build --preset host -j 2 --target setup_preflight >/dev/null
exec /usr/bin/python3 bench/bench.py
