#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, skipping what is already present.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for p in cmake g++ googletest libgtest-dev g++-mingw-w64-i686 wine bsdutils clang libclang-rt-14-dev \
  clang-tidy cppcheck clang-format binutils-mingw-w64-i686 file zip unzip procps \
  prometheus prometheus-node-exporter osslsigncode openssl softhsm2 libengine-pkcs11-openssl \
  libxml2-utils wixl msitools; do
  have_pkg "$p" || need+=("$p")
done
have_pkg wine32:i386 || need+=("wine32:i386")

install() {
  echo "setup: installing $*"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -qq
  # The Debian packages of Prometheus and its node exporter start both as services on every
  # interface (ports 9090 and 9100); the tests run promtool and the exporter themselves, on
  # loopback. Nothing of theirs is started by the install or left enabled after it.
  no_starts=
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | as_root tee /usr/sbin/policy-rc.d >/dev/null
    as_root chmod 755 /usr/sbin/policy-rc.d
    no_starts=1
  fi
  status=0
  as_root apt-get install -y -qq --no-install-recommends "$@" >/dev/null || status=$?
  [ -z "$no_starts" ] || as_root rm -f /usr/sbin/policy-rc.d
  [ "$status" -eq 0 ] || exit "$status"
  for service in prometheus prometheus-node-exporter; do
    if [ -d /run/systemd/system ]; then
      as_root systemctl disable --now "$service" >/dev/null 2>&1 || true
    elif [ -x "/etc/init.d/$service" ]; then
      as_root "/etc/init.d/$service" stop >/dev/null 2>&1 || true
      as_root update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
  done
}
[ ${#need[@]} -eq 0 ] || install "${need[@]}"

# Where the 32-bit Wine cannot run, the Windows tests run on an x86_64 build under wine64.
. "$here/wine-bits.sh"
kq2_choose_wine
if [ "$KQ2_BITS" = 64 ]; then
  need=()
  for p in wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64; do
    have_pkg "$p" || need+=("$p")
  done
  if [ ${#need[@]} -gt 0 ]; then
    echo "setup: $KQ2_NOT_RUN: the Windows tests take wine64 and an x86_64 build"
    install "${need[@]}"
  fi
fi
