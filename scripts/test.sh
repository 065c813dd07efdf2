#!/usr/bin/env bash
# Runs every test: the host tests of the launcher's logic, then, for setup.exe
# built with GCC and with Clang, the end-to-end tests under Wine and the
# release checks. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

status=0
for preset in host host-sanitize windows windows-clang; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
  ctest --preset "$preset" || status=1
done
exit $status
