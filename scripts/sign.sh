#!/usr/bin/env bash
# Signs Windows programs and packages in place with osslsigncode (Authenticode), with the key in
#   SIGN_PKCS12 (a PKCS#12 file) and SIGN_PASSWORD_FILE (its password), or
#   SIGN_PKCS11_MODULE, SIGN_PKCS11_KEY (a PKCS#11 URI) and SIGN_CERT (the certificate chain, PEM),
#     with the token's PIN in SIGN_PASSWORD_FILE or in the URI;
# time-stamped through SIGN_TIMESTAMP_URL when that is set. With SIG_DIR, each program's detached
# signature goes to SIG_DIR/NAME.sig (DER), so that a rebuild can be checked against the release.
# Files named relative to the current folder are made absolute first, and exported so: sourced
# with --paths, it does only that, for a caller that changes folder before it signs.
# Usage: scripts/sign.sh [--signatures SIG_DIR] EXE ...
#        . scripts/sign.sh --paths
set -euo pipefail
for variable in SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_CERT SIGN_PKCS11_MODULE; do
  # A module named without a folder is one the loader looks for along its own path.
  case ${!variable:-} in
  /* | "") ;;
  */*) export "$variable=$PWD/${!variable}" ;;
  *) [ "$variable" = SIGN_PKCS11_MODULE ] || export "$variable=$PWD/${!variable}" ;;
  esac
done
[ "${1:-}" != --paths ] || return 0
sig_dir=
if [ "${1:-}" = --signatures ]; then
  sig_dir=$2
  shift 2
  mkdir -p "$sig_dir"
fi

key=()
if [ -n "${SIGN_PKCS12:-}" ]; then
  [ -n "${SIGN_PASSWORD_FILE:-}" ] || { echo "sign: SIGN_PKCS12 needs SIGN_PASSWORD_FILE" >&2; exit 1; }
  key=(-pkcs12 "$SIGN_PKCS12" -readpass "$SIGN_PASSWORD_FILE")
elif [ -n "${SIGN_PKCS11_MODULE:-}" ]; then
  [ -n "${SIGN_PKCS11_KEY:-}" ] && [ -n "${SIGN_CERT:-}" ] ||
    { echo "sign: SIGN_PKCS11_MODULE needs SIGN_PKCS11_KEY and SIGN_CERT" >&2; exit 1; }
  # libengine-pkcs11-openssl's engine, where this OpenSSL looks for engines.
  engine=$(openssl version -e | sed -E 's/^ENGINESDIR: "(.*)"$/\1/')/pkcs11.so
  key=(-pkcs11engine "$engine" -pkcs11module "$SIGN_PKCS11_MODULE" -key "$SIGN_PKCS11_KEY"
    -certs "$SIGN_CERT")
  [ -z "${SIGN_PASSWORD_FILE:-}" ] || key+=(-readpass "$SIGN_PASSWORD_FILE")
else
  echo "sign: no key given (SIGN_PKCS12 or SIGN_PKCS11_MODULE)" >&2
  exit 1
fi
legacy_stamp=()
rfc3161_stamp=()
if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then
  legacy_stamp=(-t "$SIGN_TIMESTAMP_URL")
  rfc3161_stamp=(-ts "$SIGN_TIMESTAMP_URL")
fi

for exe in "$@"; do
  # Two signatures: Windows XP SP3 checks only a SHA-1 file digest (and only the legacy
  # Authenticode time stamp), Windows 8 and later want SHA-256. The SHA-256 one is nested in the
  # SHA-1 one, with an RFC 3161 time stamp, so that XP and 11 each find the one they accept.
  osslsigncode sign "${key[@]}" -h sha1 "${legacy_stamp[@]}" -in "$exe" -out "$exe.sha1" >/dev/null
  osslsigncode sign "${key[@]}" -nest -h sha256 "${rfc3161_stamp[@]}" -in "$exe.sha1" \
    -out "$exe.signed" >/dev/null
  mv "$exe.signed" "$exe"
  rm -f "$exe.sha1"
  if [ -n "$sig_dir" ]; then
    rm -f "$sig_dir/$(basename "$exe").sig"
    osslsigncode extract-signature -in "$exe" -out "$sig_dir/$(basename "$exe").sig" >/dev/null
  fi
done
