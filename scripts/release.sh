#!/usr/bin/env bash
# Builds setup.exe and setup-check.exe for release from a clean build folder
# and packs them with their documents into
# build/release/setup-<version>-win64.zip, with build/release/SHA256SUMS
# beside it: the zip's checksum and each program's in it (check the zip with
# "sha256sum -c --ignore-missing SHA256SUMS", and the programs the same way
# once the zip is unpacked beside it).
#
#   scripts/release.sh                              unsigned
#   SETUP_SIGN_PASSWORD=... scripts/release.sh CERTIFICATE.pfx
#                                                   with both programs signed
#
# Two runs from the same commit give the same archive, byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
exec /usr/bin/python3 scripts/release.py "$@"
