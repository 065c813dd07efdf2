#!/usr/bin/env bash
# Builds setup.exe and runs it under Wine, as an end user's double-click
# would, in demo installation folders laid out under build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 >/dev/null
scripts/wine-prefix.sh "$PWD/build/wine" >/dev/null
source scripts/wine-env.sh "$PWD/build/wine"
exec python3 scripts/demo.py
