#!/usr/bin/env bash
# Signs setup.exe with a throw-away self-made certificate through
# scripts/sign.sh and verifies the signature against that certificate.
set -euo pipefail
setup_exe=${1:?usage: test_signing.sh SETUP_EXE WORK}
work=$(mktemp -d "${2:?}/setup-signing-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Throw-away test signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout key.pem -out cert.pem 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out signer.pfx -passout pass:throwaway

# An unsigned file does not verify: the check below can fail.
if osslsigncode verify -CAfile cert.pem -in "$setup_exe" >/dev/null 2>&1; then
  echo "FAIL: the unsigned setup.exe verified"; exit 1
fi
SETUP_SIGN_PASSWORD=throwaway "$(dirname "$0")/../../scripts/sign.sh" signer.pfx "$setup_exe" signed.exe
osslsigncode verify -CAfile cert.pem -in signed.exe | tee verify.txt
grep -q "Signature verification: ok" verify.txt
grep -q "Throw-away test signer" verify.txt
echo "PASS: signed and verified"
