#!/usr/bin/env bash
# Signs setup.exe with your code-signing certificate (Authenticode, SHA-256).
#
#   SETUP_SIGN_PASSWORD=... scripts/sign.sh CERTIFICATE.pfx [IN.exe [OUT.exe]]
#
# IN defaults to build/windows/setup.exe, OUT to setup-signed.exe beside it.
# The PKCS#12 file holds the certificate, its chain and the private key; the
# password is read from SETUP_SIGN_PASSWORD and never put on a command line.
# Set SETUP_SIGN_TIMESTAMP_URL to have your timestamp authority counter-sign.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
certificate=$(realpath "${1:?usage: scripts/sign.sh CERTIFICATE.pfx [IN.exe [OUT.exe]]}")
in=$(realpath "${2:-$root/build/windows/setup.exe}")
out=$(realpath -m "${3:-$(dirname "$in")/setup-signed.exe}")
command -v osslsigncode >/dev/null || "$root/scripts/deps.sh"

timestamp=()
if [ -n "${SETUP_SIGN_TIMESTAMP_URL:-}" ]; then timestamp=(-ts "$SETUP_SIGN_TIMESTAMP_URL"); fi
rm -f "$out"
osslsigncode sign -pkcs12 "$certificate" -readpass <(printf '%s' "${SETUP_SIGN_PASSWORD:-}") \
  -h sha256 -n "$(basename "$in")" "${timestamp[@]}" -in "$in" -out "$out" >/dev/null
echo "Signed: $out"
