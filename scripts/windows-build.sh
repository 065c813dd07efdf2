# Sourced by the demo and the benchmarks, from the project's root: installs
# what is missing, builds setup.exe and its helpers (preset "windows"), and
# enters the project's headless Wine prefix.
scripts/deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 >/dev/null
scripts/wine-prefix.sh "$PWD/build/wine" >/dev/null
source scripts/wine-env.sh "$PWD/build/wine"
