#!/usr/bin/env bash
# Builds setup.exe, setup-check.exe and setup-preflight.exe for release from a
# clean build folder and packs them with their documents into
# build/release/setup-<version>-win64.zip, with build/release/SHA256SUMS
# beside it, which names the zip alone ("sha256sum -c SHA256SUMS" in the
# download folder). The programs' checksums travel in the zip as
# programs.sha256, for "sha256sum -c programs.sha256" once it is unpacked.
#
#   scripts/release.sh                              unsigned
#   SETUP_SIGN_PASSWORD=... scripts/release.sh CERTIFICATE.pfx
#                                                   with the three programs signed
#
# Two runs from the same commit give the same archive, byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
exec /usr/bin/python3 scripts/release.py "$@"
