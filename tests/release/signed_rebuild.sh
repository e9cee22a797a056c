#!/usr/bin/env bash
# A signed release checked against a rebuild, as a user checks it: the products in BIN signed
# through PKCS#11 (a SoftHSM2 token), each signature verifies with the throw-away CA, and each
# detached signature attached to the unsigned rebuild in REBUILT_BIN gives back the signed program.
# Usage: signed_rebuild.sh BIN REBUILT_BIN WORK_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
bin=$1 rebuilt=$2 work=$3
rm -rf "$work" && mkdir -p "$work/signed"
. "$here/throwaway_keys.sh"
use_pkcs11 "$work/keys" || { echo "signed rebuild: no throw-away key"; exit 1; }
products=$(cat "$bin/../products.txt")
for exe in $products; do cp "$bin/$exe" "$work/signed/"; done
# The key's files named relative to the folder the signing starts from, as a user names them, and
# the programs signed from their own folder, as the release signs them.
(cd "$work" && export SIGN_CERT=keys/chain.pem SIGN_PASSWORD_FILE=keys/password.txt &&
  . "$here/../../scripts/sign.sh" --paths && cd signed &&
  bash "$here/../../scripts/sign.sh" --signatures ../sigs $products) || exit 1
status=0
for exe in $products; do
  osslsigncode verify -CAfile "$work/keys/ca.pem" -in "$work/signed/$exe" >/dev/null ||
    { echo "signed rebuild: $exe does not verify"; status=1; }
  osslsigncode attach-signature -sigin "$work/sigs/$exe.sig" -CAfile "$work/keys/ca.pem" \
    -in "$rebuilt/$exe" -out "$work/$exe" >/dev/null &&
    cmp "$work/$exe" "$work/signed/$exe" || { echo "signed rebuild: $exe differs"; status=1; }
done
rm -rf "$work/keys"
exit "$status"
