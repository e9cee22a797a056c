#!/usr/bin/env bash
# One ESC typed into the supervisor's terminal, as a person types it, ends the supervisor with
# status 0 within 3 seconds and leaves the worker running. The key is the byte a keyboard sends,
# written to the pseudo-terminal that Wine's console reads, not a record injected into the console.
# Usage: typed_esc.sh BIN_DIR WORK_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
work=$2
export WINEDEBUG=-all
. "$here/../../scripts/wine-bits.sh"
kq2_choose_wine || exit 1

rm -rf "$work"
mkdir -p "$work"
cp "$bin/supervisor.exe" "$bin/fkill.exe" "$bin/kq2.exe" "$work/"
# A Wine of its own, as a person's would be: in the prefix that the other tests share, their
# process starts left Wine's console starting a desktop on the first typed key, which took 10 s.
export WINEPREFIX=$(dirname "$work")/typed_esc-wineprefix
kq2_wine_prefix
cd "$work" || exit 1
kq2_check_bits supervisor.exe kq2.exe fkill.exe || exit 1
keys=$work/keys
mkfifo "$keys"

# The Linux processes of the Wine programs running in this folder.
. "$here/../../scripts/wine-pids.sh"
ours() { wine_pids "$1" "$work"; }
fail() {
  echo "typed_esc: $*"
  echo "typed_esc: log_kq.txt: $(cat log_kq.txt 2>/dev/null)"
  exit 1
}
# The terminal stays open after the supervisor ends, as a console window would, so that the worker
# keeps its console; everything started here is ended when the test ends.
script -qec "$KQ2_WINE supervisor.exe /beat:2 /record; echo \$? >status.txt; exec sleep 60" /dev/null \
  0<>"$keys" >terminal.txt 2>&1 &
terminal=$!
trap 'kill $(ours kq2.exe) $(ours supervisor.exe) 2>/dev/null; pkill -P $terminal; kill $terminal 2>/dev/null
  wineserver -k 2>/dev/null' EXIT

for _ in $(seq 200); do
  grep -q "running since  2 seconds" log_kq.txt 2>/dev/null && break
  sleep 0.1
done
grep -q "running since  2 seconds" log_kq.txt 2>/dev/null || fail "the supervisor did not start"

supervisor=$(ours supervisor.exe)
[ -n "$supervisor" ] || fail "no supervisor process"
# Running: neither gone nor a zombie.
running() { [ -n "$(ps -o stat= -p "$1" | grep -v '^Z')" ]; }
typed=$(date +%s%N)
printf '\033' >"$keys"
for _ in $(seq 300); do
  running "$supervisor" || break
  sleep 0.01
done
took=$((($(date +%s%N) - typed) / 1000000))
running "$supervisor" && fail "one ESC did not end the supervisor within 3 s"
[ "$took" -le 3000 ] || fail "the supervisor took $took ms to end"
# Its exit status, as the terminal's shell saw it once wine returned.
for _ in $(seq 100); do
  [ -s status.txt ] && break
  sleep 0.1
done
seen=$((($(date +%s%N) - typed) / 1000000))
[ "$(cat status.txt 2>/dev/null)" = 0 ] || fail "the supervisor ended with status '$(cat status.txt 2>/dev/null)'"

sleep 1
worker=$(ours kq2.exe)
[ -n "$worker" ] && running "$worker" || fail "the worker did not outlive the supervisor"
echo "typed_esc: one ESC ended the supervisor in $took ms with status 0 (its shell saw the end after" \
  "$seen ms); the worker runs on"
