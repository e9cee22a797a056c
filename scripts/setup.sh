#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, skipping what is already present.
#
# The Windows tests take one of two paths: the shipping i686 build under the 32-bit Wine, or an
# x86_64 build under wine64. The path is chosen before anything 32-bit is installed, and a 32-bit
# part that cannot be installed (a mirror whose i386 index is out of step with its amd64 one, say)
# sends setup down the 64-bit path instead of ending it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-bits.sh"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# The packages among NAME... that are not installed yet.
missing() {
  local p
  for p in "$@"; do have_pkg "$p" || echo "$p"; done
}

# Every path's packages. The i686 cross compiler and binutils are amd64 packages: the shipped zip is
# built and checked from its bytes on either path.
common=(cmake g++ googletest libgtest-dev g++-mingw-w64-i686 binutils-mingw-w64-i686 wine bsdutils
  clang libclang-rt-14-dev clang-tidy cppcheck clang-format file zip unzip procps gdb
  prometheus prometheus-node-exporter osslsigncode openssl softhsm2 libengine-pkcs11-openssl
  libxml2-utils wixl msitools icinga2-bin nagios4-core)
wine64_path=(wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)

updated=
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT
# apt_install NAME...: installs them in one call, apt's output kept in $apt_log. The lists are
# refreshed before the first install; a refresh that fails (a mirror caught mid-sync) is a warning
# only: the install decides whether the lists apt has are enough.
apt_install() {
  export DEBIAN_FRONTEND=noninteractive
  if [ -z "$updated" ]; then
    updated=1
    if ! as_root apt-get update -qq >"$apt_log" 2>&1; then
      echo "setup: apt-get update failed ($(grep -m1 -E '^(E|W):' "$apt_log" | cut -c1-200)); going on with the lists apt has"
    fi
  fi
  echo "setup: installing $*"
  # The Debian packages of Prometheus and its node exporter start both as services on every
  # interface (ports 9090 and 9100), and Icinga 2's and Nagios's start their daemons; the tests run
  # promtool and the exporter themselves, on loopback, and the engines only to check configurations.
  # Nothing of theirs is started by the install or left enabled after it.
  local no_starts= status=0
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | as_root tee /usr/sbin/policy-rc.d >/dev/null
    as_root chmod 755 /usr/sbin/policy-rc.d
    no_starts=1
  fi
  as_root apt-get install -y -qq --no-install-recommends "$@" >"$apt_log" 2>&1 || status=$?
  [ -z "$no_starts" ] || as_root rm -f /usr/sbin/policy-rc.d
  return "$status"
}
# The names among NAME... that apt's last answer complains of, else all of them.
blamed() {
  local p name named=()
  for p in "$@"; do
    name=$(sed 's/[].[\\*^$+?(){}|]/\\&/g' <<<"${p%:*}")
    grep -qE "(^ *$name(:[a-z0-9]+)? :|package $name(:[a-z0-9]+)?\$| '$name(:[a-z0-9]+)?')" "$apt_log" && named+=("$p")
  done
  [ ${#named[@]} -gt 0 ] || named=("$@")
  echo "${named[*]}"
}
# Installs those of NAME... that are missing and that the path cannot do without, or ends setup
# naming what failed, with apt's own words.
require() {
  local need
  mapfile -t need < <(missing "$@")
  [ ${#need[@]} -gt 0 ] || return 0
  apt_install "${need[@]}" && return 0
  echo "setup: cannot install $(blamed "${need[@]}"); apt-get said:" >&2
  grep -v '^$' "$apt_log" >&2 || true
  exit 1
}

# The path, before anything 32-bit is installed: forced, or the 32-bit loader's answer where it is
# installed, or else the kernel's own.
if [ -n "${KQ2_WINE_BITS:-}" ]; then
  kq2_choose_wine
  bits=$KQ2_BITS
elif [ -x "$kq2_wine32_loader" ]; then
  kq2_runs_32bit && bits=32 || bits=64
elif kq2_kernel_runs_32bit "$kq2_build"; then
  bits=32
else
  bits=64
  echo "setup: this machine cannot run 32-bit programs: the Windows tests take wine64 and an x86_64 build"
fi

if [ "$bits" = 64 ]; then
  require "${common[@]}" "${wine64_path[@]}"
else
  require "${common[@]}"
  if ! have_pkg wine32:i386; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      as_root dpkg --add-architecture i386
      # A fresh architecture has no lists yet.
      updated=
    fi
    if apt_install wine32:i386; then
      rm -f "$kq2_build/wine32.txt"
    else
      # apt's first unmet dependency says more than its closing "E:" line.
      why=$({ grep -m1 -E ' : (Pre)?Depends:' "$apt_log" || grep -m1 '^E:' "$apt_log"; } | sed -E 's/^ +//' | cut -c1-200)
      mkdir -p "$kq2_build" && echo "${why:-apt-get install failed}" >"$kq2_build/wine32.txt"
      echo "setup: wine32:i386 could not be installed (${why:-apt-get install failed}): the Windows tests take wine64 and an x86_64 build"
      require "${wine64_path[@]}"
    fi
  fi
  # A loader that is installed but cannot run here sends the tests down the 64-bit path as well.
  if [ -z "${KQ2_WINE_BITS:-}" ] && ! kq2_runs_32bit; then
    if [ -n "$(missing "${wine64_path[@]}")" ]; then
      echo "setup: $(kq2_why_not_32bit): the Windows tests take wine64 and an x86_64 build"
      require "${wine64_path[@]}"
    fi
  fi
fi

[ -n "$updated" ] || exit 0
for service in prometheus prometheus-node-exporter icinga2 nagios4; do
  if [ -d /run/systemd/system ]; then
    as_root systemctl disable --now "$service" >/dev/null 2>&1 || true
  elif [ -x "/etc/init.d/$service" ]; then
    as_root "/etc/init.d/$service" stop >/dev/null 2>&1 || true
    as_root update-rc.d "$service" disable >/dev/null 2>&1 || true
  fi
done
