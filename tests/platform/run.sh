#!/usr/bin/env bash
# Runs the platform layer's test program under Wine, in the prefix that
# WINEPREFIX names, in a fresh work folder.
#   run.sh PLATFORM_TEST_EXE WORK
set -euo pipefail
exe=${1:?} work=${2:?}
source "$(dirname "$0")/../../scripts/wine-env.sh" "${WINEPREFIX:?}"
rm -rf "$work"
mkdir -p "$work"
# Output to a file, not ctest's pipe: a wineserver that this run starts would
# hold the pipe open after the program has ended.
status=0
wine "$exe" "Z:$(echo "$work" | tr / '\\')" >"$work/output.txt" 2>&1 || status=$?
cat "$work/output.txt"
exit $status
