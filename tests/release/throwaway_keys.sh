# Sourced by the signing tests: a throw-away CA and code-signing key made in DIR, never kept.
# use_pkcs12 DIR: the key as a PKCS#12 file with a password file; use_pkcs11 DIR: the key in a
# SoftHSM2 token of DIR's own, reached through PKCS#11. Both export the SIGN_* variables of
# scripts/sign.sh; DIR/ca.pem verifies what they sign.
make_keys() (
  mkdir -p "$1" && cd "$1" || exit 1
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj /CN=test-ca \
    -addext keyUsage=critical,keyCertSign 2>/dev/null &&
    openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 \
      -subj /CN=test-signer -CA ca.pem -CAkey ca.key -addext basicConstraints=CA:false \
      -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning 2>/dev/null &&
    cat signer.pem ca.pem >chain.pem && echo 1234 >password.txt
)
use_pkcs12() {
  make_keys "$1" && openssl pkcs12 -export -inkey "$1/signer.key" -in "$1/chain.pem" \
    -passout "file:$1/password.txt" -out "$1/signer.p12" || return 1
  export SIGN_PKCS12=$1/signer.p12 SIGN_PASSWORD_FILE=$1/password.txt
}
use_pkcs11() {
  make_keys "$1" && mkdir "$1/tokens" || return 1
  printf 'directories.tokendir = %s\n' "$1/tokens" >"$1/softhsm2.conf"
  export SOFTHSM2_CONF=$1/softhsm2.conf SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so \
    SIGN_PKCS11_KEY="pkcs11:token=test;object=signer;type=private" SIGN_CERT=$1/chain.pem \
    SIGN_PASSWORD_FILE=$1/password.txt
  openssl pkcs8 -topk8 -nocrypt -in "$1/signer.key" -out "$1/signer.p8" &&
    softhsm2-util --init-token --free --label test --pin 1234 --so-pin 4321 >/dev/null &&
    softhsm2-util --import "$1/signer.p8" --token test --label signer --id 01 --pin 1234 >/dev/null
}
