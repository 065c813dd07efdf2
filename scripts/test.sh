#!/usr/bin/env bash
# Runs every test: the host tests of the launcher's logic, then the
# end-to-end tests of setup.exe under Wine. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

status=0
for preset in host windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
  ctest --preset "$preset" || status=1
done
exit $status
