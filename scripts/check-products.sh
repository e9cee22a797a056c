#!/usr/bin/env bash
# Checks the built products: 32-bit console programs that start on Windows XP, import nothing
# beyond kernel32 and msvcrt, only kernel32 functions that XP SP3 has, carry a version resource
# and no manifest (the supervisor also its message table), and stay small.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/windows/bin}
allow=$root/tests/xp-kernel32-allowlist.txt
max_supervisor_bytes=$((52 * 1024))
# A monitoring agent starts kq2stat every minute, on old machines too.
max_kq2stat_bytes=$((35 * 1024))
status=0
fail() {
  echo "check-products: $*"
  status=1
}

for exe in supervisor.exe fkill.exe kq2stat.exe; do
  path=$bin/$exe
  [ -f "$path" ] || { fail "$exe is missing"; continue; }
  dump=$(i686-w64-mingw32-objdump -p "$path")
  file "$path" | grep -q 'PE32 executable (console) Intel 80386' || fail "$exe is no PE32 i386 console program"
  for field in MajorSubsystemVersion MajorOSystemVersion; do
    [ "$(awk -v f=$field '$1 == f { print $2 }' <<<"$dump")" = 5 ] || fail "$exe: $field is not 5"
  done
  # Resource types (the first level of the resource directory): the version (16) alone, and for the
  # supervisor its event log's message table (11). A manifest (24) would change how UAC treats the
  # program against its worker.
  types=$(awk '/The .rsrc Resource Directory section/ { in_rsrc = 1; next }
               in_rsrc && /^[0-9a-f]+   Entry: ID:/ { sub(",", "", $4); print $4 }
               in_rsrc && /Resources start at/ { in_rsrc = 0 }' <<<"$dump" | tr '\n' ' ')
  want="0x000010 "
  [ "$exe" = supervisor.exe ] && want="0x00000b 0x000010 "
  [ "$types" = "$want" ] || fail "$exe: resource types are '$types', not '$want'"
  dlls=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$dump" | sort -u | tr '\n' ' ')
  [ "$dlls" = "kernel32.dll msvcrt.dll " ] || fail "$exe imports from: $dlls"
  # The import lines of kernel32: hint and name, up to the next DLL.
  while read -r name; do
    grep -qx "$name" "$allow" || fail "$exe imports $name, which is not on the Windows XP allow-list"
  done < <(awk '/DLL Name:/ { in_k32 = (tolower($3) == "kernel32.dll"); next }
                in_k32 && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print $3 }
                in_k32 && NF == 0 { in_k32 = 0 }' <<<"$dump")
done

size=$(stat -c %s "$bin/supervisor.exe" 2>/dev/null || echo 0)
[ "$size" -le "$max_supervisor_bytes" ] || fail "supervisor.exe is $size bytes, over $max_supervisor_bytes"
stat_size=$(stat -c %s "$bin/kq2stat.exe" 2>/dev/null || echo 0)
[ "$stat_size" -le "$max_kq2stat_bytes" ] || fail "kq2stat.exe is $stat_size bytes, over $max_kq2stat_bytes"
[ "$status" -eq 0 ] && echo "check-products: supervisor.exe $size bytes, fkill.exe $(stat -c %s "$bin/fkill.exe") bytes, kq2stat.exe $stat_size bytes, imports fit Windows XP"
exit "$status"
