#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, skipping what is already present.
set -euo pipefail

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for p in cmake g++ googletest libgtest-dev g++-mingw-w64-i686 wine bsdutils clang libclang-rt-14-dev \
  clang-tidy cppcheck clang-format binutils-mingw-w64-i686 file zip unzip procps \
  osslsigncode openssl softhsm2 libengine-pkcs11-openssl libxml2-utils; do
  have_pkg "$p" || need+=("$p")
done
have_pkg wine32:i386 || need+=("wine32:i386")

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -qq
  as_root apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
