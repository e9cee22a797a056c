#!/usr/bin/env bash
# The Windows Installer package under Wine's msiexec, in a throw-away prefix, against a worker's
# folder holding a demo kq2.exe, check.txt, log_kq.txt and an fkill.exe unpacked from the zip
# before: a refused install without the folder, an install, an upgrade, a refused downgrade, a
# rebuild of the same version, and an uninstall that leaves the worker's files alone.
# Usage: msi.sh ZIP WORK_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
zip=$(realpath "$1")
rm -rf "$2" && mkdir -p "$2" && work=$(cd "$2" && pwd)
. "$here/../../scripts/wine-bits.sh"
kq2_choose_wine || exit 1
# No menu entries for the shortcut, no Mono or Gecko for the prefix.
export WINEDEBUG=-all WINEPREFIX=$work/prefix WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml='
trap 'wineserver -k >/dev/null 2>&1' EXIT
fail() { echo "msi: $*"; exit 1; }

version=$(basename "$zip" | sed -E 's/^kq2-supervisor-(.*)-win32\.zip$/\1/')
kq2_wine_prefix
# package VERSION DIR: that version's package, built into WORK_DIR/DIR; prints its Windows path.
package() {
  local msi
  msi=$(bash "$here/../../scripts/make-msi.sh" "$1" "$zip" "$work/$2") && kq2_winepath "$msi"
}
new=$(package "$version" new) && rebuild=$(package "$version" rebuild) && old=$(package 0.9.0 old) ||
  fail "cannot build the packages"
[ -z "$(msiinfo export "$work"/new/*.msi CustomAction | tail -n +4)" ] || fail "custom actions"

dir=$WINEPREFIX/drive_c/worker
mkdir "$dir" && unzip -p "$zip" demo/kq2.exe >"$dir/kq2.exe" &&
  unzip -p "$zip" fkill.exe >"$dir/fkill.exe"
echo beat >"$dir/check.txt" && echo status >"$dir/log_kq.txt"
worker=$(cd "$dir" && sha256sum kq2.exe check.txt log_kq.txt)
events='SYSTEM\CurrentControlSet\Services\EventLog\Application\kq2-supervisor'
msi() { kq2_wine msiexec "$@" /qn; }
# The version of every installed product named kq2 supervisor, one a line (the x86 view).
products() {
  kq2_wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 |
    tr -d '\r' | awk '/^HKEY/ { if (n) print v; n = 0 } $1 == "DisplayVersion" { v = $3 }
         $1 == "DisplayName" { n = ($3 " " $4 == "kq2 supervisor") } END { if (n) print v }'
}
# A value as reg prints it, blanks squeezed: NAME TYPE DATA.
value() {
  kq2_wine reg query "HKLM\\$1" /v "$2" /reg:32 2>/dev/null | tr -d '\r' |
    awk -v n="$2" '$1 == n { $1 = $1; print }'
}
files() { (cd "$dir" && LC_ALL=C ls | tr '\n' ' '); }
# Wine puts the shortcut in the user's Startup folder, though ALLUSERS=1 means the all-users one.
shortcut() { find "$WINEPREFIX/drive_c" -name 'kq2 supervisor.lnk'; }
installed() {
  local exe
  for exe in supervisor.exe fkill.exe kq2stat.exe; do
    unzip -p "$zip" "$exe" | cmp -s - "$dir/$exe" || fail "$1: $exe is not the zip's"
  done
  [ "$(value "$events" EventMessageFile)" = 'EventMessageFile REG_EXPAND_SZ C:\worker\supervisor.exe' ] &&
    [ "$(value "$events" TypesSupported)" = 'TypesSupported REG_DWORD 0x7' ] ||
    fail "$1: no event source"
}

msi /i "$new" && fail "installed without WORKERDIR"
[ -z "$(products)" ] && [ "$(files)" = "check.txt fkill.exe kq2.exe log_kq.txt " ] ||
  fail "the refused install left: $(products) $(files)"
msi /i "$old" 'WORKERDIR=C:\worker' || fail "install failed"
installed install
[ -z "$(shortcut)" ] && [ "$(products)" = 0.9.0 ] || fail "install: $(products) $(shortcut)"
msi /i "$new" ADDLOCAL=ALL || fail "upgrade failed"
installed upgrade
[ "$(products)" = "$version" ] || fail "upgrade: products $(products)"
msi /i "$old" && fail "a downgrade was taken"
msi /i "$rebuild"
[ "$(products)" = "$version" ] || fail "the downgrade or rebuild left: $(products)"
same() { [ "$(cd "$dir" && sha256sum kq2.exe check.txt log_kq.txt)" = "$worker" ]; }
same || fail "the worker's files changed"

# The shortcut's target and "Start in" (Shell Link format: header, ID list, link info, strings).
lnk=$(shortcut)
[ -n "$lnk" ] || fail "ADDLOCAL=ALL made no shortcut"
at() { od -An -tu"$1" -j"$2" -N"$1" "$lnk" | tr -d ' '; }
flags=$(at 4 20) pos=76 start_in=
[ $((flags & 1)) = 0 ] || pos=$((pos + 2 + $(at 2 76)))
target=$(tail -c +$((pos + $(at 4 $((pos + 16))) + 1)) "$lnk" | tr '\0' '\n' | head -n 1)
pos=$((pos + $(at 4 "$pos")))
for bit in 4 8 16; do
  [ $((flags & bit)) = 0 ] && continue
  length=$(at 2 "$pos")
  [ "$bit" != 16 ] ||
    start_in=$(tail -c +$((pos + 3)) "$lnk" | head -c $((length * 2)) | tr -d '\0')
  pos=$((pos + 2 + length * 2))
done
[ "$target" = 'C:\worker\supervisor.exe' ] && [ "${start_in%\\}" = 'C:\worker' ] ||
  fail "the shortcut runs '$target' in '$start_in'"

msi /x "$new" || fail "uninstall failed"
[ -z "$(products)$(shortcut)" ] && [ "$(files)" = "check.txt kq2.exe log_kq.txt " ] ||
  fail "the uninstall left: $(products) $(shortcut) $(files)"
same || fail "the uninstall changed the worker's files"
kq2_wine reg query "HKLM\\$events" >/dev/null 2>&1 && fail "the event source stayed"
kq2_wine reg query 'HKLM\SOFTWARE\kq2-supervisor' /reg:32 >/dev/null 2>&1 &&
  fail "the folder is still remembered"
echo "msi: install, upgrade, downgrade, rebuild and uninstall as expected in $SECONDS s"
