#!/usr/bin/env bash
# Builds setup.exe and runs it under Wine, as an end user's double-click
# would, in demo installation folders laid out under build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-build.sh
exec /usr/bin/python3 scripts/demo.py
