#!/usr/bin/env bash
# Makes the headless Wine prefix that the launcher runs in, once: Wine's null
# display driver, so that message boxes are real windows without a screen.
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
source "$(dirname "$0")/wine-env.sh" "$prefix"

if [ -f "$prefix/.headless-ready" ]; then exit 0; fi
mkdir -p "$prefix"
wineboot --init >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver --wait
touch "$prefix/.headless-ready"
echo "Wine prefix ready: $prefix"
