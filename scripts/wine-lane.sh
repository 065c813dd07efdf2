#!/usr/bin/env bash
# Runs a command in a Wine prefix that nothing else uses meanwhile, so that
# tests can run side by side, each with a Wine server, registry and %TEMP% of
# its own. The lanes, TEMPLATE-lane-1 to -N (N from SETUP_WINE_LANES, 4 by
# default), are copies of the prefix TEMPLATE, made at their first use and
# shared by every build tree; a lane is held until the command ends, and a
# command waits while every lane is held.
#
# The lane's Wine server lives as long as the command: started before it,
# with the prefix booted, and ended after it. Left to itself, Debian's
# wineserver runs with -p0 and ends with its last process, so that each Wine
# run of a test would start a server and the prefix's services afresh, and a
# run that met a server just ending would fail to start.
#   wine-lane.sh TEMPLATE COMMAND [ARGUMENT...]
set -euo pipefail
template=${1:?usage: wine-lane.sh TEMPLATE COMMAND [ARGUMENT...]}
shift
lanes=${SETUP_WINE_LANES:-4}
scripts=$(dirname "$0")
mkdir -p "$(dirname "$template")"

lane=0
while [ "$lane" -eq 0 ]; do
  for ((next = 1; next <= lanes; next++)); do
    exec {lock}>"$template-lane-$next.busy"
    if flock -n "$lock"; then
      lane=$next
      break
    fi
    exec {lock}>&-
  done
  [ "$lane" -ne 0 ] || sleep 0.2
done

"$scripts/wine-prefix.sh" "$template-lane-$lane" "$template" {lock}>&- >/dev/null
export WINEPREFIX=$template-lane-$lane SETUP_WINE_TEMPLATE=$template
# Tells the tests that the lane's server is meant to live.
export SETUP_WINE_LANE_SERVER=1

# Every server of the lane ends with the command, the prefix of the tests'
# stand-in for cmd.exe beside it too (tests/e2e/harness.py).
end_servers() {
  for prefix in "$WINEPREFIX" "$WINEPREFIX-cmd-standin"; do
    [ -d "$prefix" ] || continue
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 || true
  done
}
trap end_servers EXIT
trap 'exit 143' TERM INT
# Neither the server nor anything it starts may hold the lane's descriptor or
# the caller's output: Wine's server keeps a pipe open for as long as it runs.
# The last -p wins over the -p0 of Debian's script.
(
  source "$scripts/wine-env.sh" "$WINEPREFIX"
  wineserver -p
  wine wineboot || true
) {lock}>&- </dev/null >/dev/null 2>&1

status=0
"$@" {lock}>&- || status=$?
exit $status
