#!/usr/bin/env bash
# Runs a command in a Wine prefix that nothing else uses meanwhile, so that
# tests can run side by side, each with a Wine server, registry and %TEMP% of
# its own. The lanes, TEMPLATE-lane-1 to -N (N from SETUP_WINE_LANES, 4 by
# default), are copies of the prefix TEMPLATE, made at their first use and
# shared by every build tree; a lane is held until the command ends, and a
# command waits while every lane is held.
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
# The command without the lane's descriptor: a Wine server that it starts
# outlives it by a few seconds and would hold the lane that long.
status=0
"$@" {lock}>&- || status=$?
exit $status
