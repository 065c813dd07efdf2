#!/usr/bin/env bash
# Makes a headless Wine prefix that the launcher runs in, once: Wine's null
# display driver, so that message boxes are real windows without a screen.
# With TEMPLATE, a prefix made here before, the new one is a copy of it: a
# few seconds of copying instead of a Wine start-up. Callers that run side
# by side wait for each other.
#   wine-prefix.sh PREFIX [TEMPLATE]
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX [TEMPLATE]}
template=${2:-}
source "$(dirname "$0")/wine-env.sh" "$prefix"

if [ -f "$prefix/.headless-ready" ]; then exit 0; fi
mkdir -p "$(dirname "$prefix")"
exec {lock}>"$prefix.lock"
flock "$lock"
if [ -f "$prefix/.headless-ready" ]; then exit 0; fi
rm -rf "$prefix"
if [ -n "$template" ]; then
  "$0" "$template" {lock}>&-
  # The ready mark comes last, with the copy whole.
  rm -rf "$prefix.partial"
  cp -a "$template" "$prefix.partial"
  rm -f "$prefix.partial/.headless-ready"
  mv "$prefix.partial" "$prefix"
else
  mkdir -p "$prefix"
  # Without the lock's descriptor: the Wine server would hold it.
  wineboot --init >/dev/null 2>&1 {lock}>&-
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 {lock}>&-
  wineserver --wait {lock}>&-
fi
touch "$prefix/.headless-ready"
echo "Wine prefix ready: $prefix"
