# Sourced by the signing tests: a throw-away CA and code-signing key made in DIR, never kept.
# use_pkcs12 DIR: the key as a PKCS#12 file with a password file.
# use_pkcs11 DIR: the same key in a SoftHSM2 token of DIR's own, reached through PKCS#11.
# Both export the SIGN_* variables of scripts/sign.sh; DIR/ca.pem verifies what they sign.
make_keys() {
  local dir=$1
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/ca.key" -out "$dir/ca.pem" -days 2 \
    -subj "/CN=kq2 throw-away test CA" -addext basicConstraints=critical,CA:true \
    -addext keyUsage=critical,keyCertSign 2>/dev/null &&
    openssl req -newkey rsa:2048 -nodes -keyout "$dir/signer.key" -out "$dir/signer.csr" \
      -subj "/CN=kq2 throw-away signer" 2>/dev/null &&
    printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$dir/ext.cnf" &&
    openssl x509 -req -in "$dir/signer.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
      -CAcreateserial -days 2 -extfile "$dir/ext.cnf" -out "$dir/signer.pem" 2>/dev/null &&
    cat "$dir/signer.pem" "$dir/ca.pem" >"$dir/chain.pem" && echo "throw-away" >"$dir/password.txt"
}
use_pkcs12() {
  make_keys "$1" && openssl pkcs12 -export -inkey "$1/signer.key" -in "$1/chain.pem" \
    -passout "file:$1/password.txt" -out "$1/signer.p12" || return 1
  export SIGN_PKCS12=$1/signer.p12 SIGN_PASSWORD_FILE=$1/password.txt
}
use_pkcs11() {
  make_keys "$1" && mkdir -p "$1/tokens" || return 1
  printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$1/tokens" >"$1/softhsm2.conf"
  export SOFTHSM2_CONF=$1/softhsm2.conf
  openssl pkcs8 -topk8 -nocrypt -in "$1/signer.key" -out "$1/signer.p8" &&
    softhsm2-util --init-token --free --label kq2 --pin 1234 --so-pin 4321 >/dev/null &&
    softhsm2-util --import "$1/signer.p8" --token kq2 --label signer --id 01 --pin 1234 >/dev/null ||
    return 1
  echo 1234 >"$1/pin.txt"
  export SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so SIGN_CERT=$1/chain.pem \
    SIGN_PKCS11_KEY="pkcs11:token=kq2;object=signer;type=private" SIGN_PASSWORD_FILE=$1/pin.txt
}
