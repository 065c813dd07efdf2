# Sourced: the environment every Wine run of this project uses.
#   source scripts/wine-env.sh PREFIX
export WINEPREFIX=${1:?usage: source wine-env.sh PREFIX}
export WINEDEBUG=-all
# No Mono or Gecko installers, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A fixed locale gives a fixed ANSI code page (1252) for 8-bit command lines.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
