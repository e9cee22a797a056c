#!/usr/bin/env bash
# The Windows Installer package under Wine's msiexec in a throw-away prefix, in a folder with a demo
# kq2.exe, check.txt, log_kq.txt and an fkill.exe from the zip: no install without the folder, an
# upgrade of 1.2.2's package (everything in the worker's folder) after which the command line of a
# boot task made for 1.2 still starts the supervisor, no downgrade, one entry for a rebuild, an
# uninstall that leaves the rest. ZIP's programs must be of the bits this machine runs.
# Usage: msi.sh ZIP WORK_DIR
set -u -o pipefail
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
# package VERSION DIR: that version's package, built into WORK_DIR/DIR, by its name on drive Z:.
package() { bash "$here/../../scripts/make-msi.sh" "$1" "$zip" "$work/$2" ${3:+"$3"} | sed 's|/|\\|g; s|^|Z:|'; }
# 1.2.2's package, which installed every program into the worker's folder, as version 0.9.0.
git -C "$here" show 208d378:release/kq2-supervisor.wxs >"$work/1.2.2.wxs" || fail "no 1.2.2 package in the history"
new=$(package "$version" new) && rebuild=$(package "$version" again) && old=$(package 0.9.0 old "$work/1.2.2.wxs") ||
  fail "cannot build the packages"
[ -z "$(msiinfo export "$work"/new/*.msi CustomAction | tail -n +4)" ] || fail "custom actions"

dir=$WINEPREFIX/drive_c/worker
kq2_wine_prefix && mkdir "$dir" && echo beat >"$dir/check.txt" && echo status >"$dir/log_kq.txt" &&
  unzip -q -j "$zip" demo/kq2.exe fkill.exe -d "$dir" || fail "cannot make the worker's folder"
worker=$(cd "$dir" && sha256sum kq2.exe check.txt log_kq.txt)
# An x86 package's ProgramFilesFolder: Program Files (x86) where the prefix has one.
programs=$(ls -d "$WINEPREFIX/drive_c/Program Files (x86)" 2>/dev/null || echo "$WINEPREFIX/drive_c/Program Files")
programs_win="C:\\${programs##*/}\\kq2-supervisor" programs=$programs/kq2-supervisor
same() { [ "$(cd "$dir" && sha256sum kq2.exe check.txt log_kq.txt)" = "$worker" ]; }
files() { (cd "${1:-$dir}" && LC_ALL=C ls | tr '\n' ' '); }
msi() { kq2_wine msiexec "$@" /qn; }
# reg's lines, blanks squeezed, in the x86 view that an x86 package writes to; gone KEY: no KEY.
reg() { kq2_wine reg query "$@" /reg:32 2>/dev/null | tr -d '\r' | tr -s ' '; }
gone() { ! kq2_wine reg query "$1" /reg:32 >/dev/null 2>&1; }
events='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\kq2-supervisor'
# The version of every installed product named kq2 supervisor, one a line.
products() {
  reg 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | awk '$1 == "DisplayName" {
    n = ($3 " " $4 == "kq2 supervisor") } n && $1 == "DisplayVersion" { print $3; n = 0 }'
}
# Wine puts the shortcut in the user's Startup folder, though ALLUSERS=1 means the all-users one.
# Its strings, one a line: the target is the link info's path, "Start in" the folder alone.
shortcut() {
  local lnk
  lnk=$(find "$WINEPREFIX/drive_c" -name 'kq2 supervisor.lnk')
  [ -z "$lnk" ] || tr -d '\0' <"$lnk" | strings
}
# The supervisor's account's copies in the worker's folder; what SYSTEM and administrators run, and
# the event source's message file, under Program Files.
installed() {
  for exe in "$dir"/{supervisor,fkill}.exe "$programs"/{supervisor,fkill,kq2stat}.exe; do
    unzip -p "$zip" "${exe##*/}" | cmp -s - "$exe" || fail "$1: $exe is not the zip's"
  done
  [ "$(files)" = "check.txt fkill.exe kq2.exe log_kq.txt supervisor.exe " ] &&
    [ "$(files "$programs")" = "LICENSE.txt README.txt fkill.exe kq2stat.exe supervisor.exe " ] &&
    reg "$events" | grep -qxF " EventMessageFile REG_EXPAND_SZ $programs_win\\supervisor.exe" &&
    reg "$events" | grep -qxF ' TypesSupported REG_DWORD 0x7' || fail "$1: $(files) $(reg "$events")"
}

msi /i "$new" && fail "installed without WORKERDIR"
[ -z "$(products)" ] && [ "$(files)" = "check.txt fkill.exe kq2.exe log_kq.txt " ] ||
  fail "the refused install left: $(products) $(files)"
# Refused by the launch condition, which Windows' log says in its text and Wine's only by the action's
# result.
for bad in ' ' 'relative\dir' '\\server\share\worker'; do
  msi /i "$new" "WORKERDIR=$bad" /l "$work/refused.log" && fail "installed into '$bad'"
  [ -z "$(products)" ] && [ "$(files)" = "check.txt fkill.exe kq2.exe log_kq.txt " ] &&
    grep -aq 'LaunchConditions. Return value 0' "$work/refused.log" || fail "'$bad': $(products) $(files)"
done
msi /i "$old" 'WORKERDIR=C:\worker' || fail "install failed"
[ -z "$(shortcut)" ] && [ "$(products)" = 0.9.0 ] && [ "$(files)" = "check.txt fkill.exe \
kq2-supervisor-LICENSE.txt kq2-supervisor-README.txt kq2.exe kq2stat.exe log_kq.txt supervisor.exe " ] ||
  fail "install: $(products) $(shortcut) $(files)"
msi /i "$new" ADDLOCAL=ALL || fail "upgrade failed"
installed upgrade
shortcut | grep -qxF "$programs_win\\supervisor.exe" && shortcut | grep -qxF 'C:\worker\' ||
  fail "the shortcut's target or Start in is wrong: $(shortcut)"
# 1.2's boot task runs C:\worker\supervisor.exe in C:\worker: it starts the worker as before.
(cd "$dir" && timeout 6 "$KQ2_WINE" 'C:\worker\supervisor.exe' /record </dev/null >"$work/task.txt" 2>&1)
. "$here/../../scripts/wine-pids.sh"
kill $(wine_pids kq2.exe "$dir") 2>/dev/null
started=$(cut -d' ' -f1 "$dir/kq2_starts.txt" 2>/dev/null)
[ -n "$started" ] && grep -q "restarts 1 , PID $started " "$dir/log_kq.txt" ||
  fail "the boot task's command line did not start the worker: $(cat "$work/task.txt" "$dir/log_kq.txt")"
rm "$dir/kq2_starts.txt" && echo beat >"$dir/check.txt" && echo status >"$dir/log_kq.txt"
msi /i "$old" && fail "a downgrade was taken"
# Windows refuses another build of an installed version (1638); Wine's msiexec ends with 0.
msi /i "$rebuild"
[ "$(products)" = "$version" ] && same || fail "the upgrade left: $(products) $(files)"

msi /x "$new" || fail "uninstall failed"
[ -z "$(products)$(shortcut)" ] && [ ! -e "$programs" ] && gone "$events" && gone 'HKLM\SOFTWARE\kq2-supervisor' && same &&
  [ "$(files)" = "check.txt kq2.exe log_kq.txt " ] || fail "the uninstall left: $(products) $(files)"
echo "msi: install, upgrade from 1.2.2 and its boot task's start, downgrade, rebuild and uninstall as expected in $SECONDS s"
