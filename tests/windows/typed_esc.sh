#!/usr/bin/env bash
# One ESC typed into the supervisor's terminal, as a person types it, ends the supervisor with
# status 0 within 3 seconds and leaves the worker running. The key is the byte a keyboard sends,
# written to the pseudo-terminal that Wine's console reads, not a record injected into the console.
# The run also carries the events of a start, a hung worker's restart and ESC, read from Wine's
# debug channels: its Event Log is a stub that prints each event's type, ID and strings.
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
script -qec "WINEDEBUG=-all,fixme+advapi,+eventlog $KQ2_WINE supervisor.exe /nobeat /record; echo \$? >status.txt; exec sleep 60" /dev/null \
  0<>"$keys" >terminal.txt 2>&1 &
terminal=$!
# The terminal by its job: once it has ended, its PID may name another program.
trap 'kill $(ours kq2.exe) $(ours supervisor.exe) 2>/dev/null
  jobs -pr | grep -qx "$terminal" && { pkill -P $terminal; kill $terminal; } 2>/dev/null
  wineserver -k 2>/dev/null' EXIT

for _ in $(seq 200); do
  grep -q "running since  2 seconds" log_kq.txt 2>/dev/null && break
  sleep 0.1
done
grep -q "running since  2 seconds" log_kq.txt 2>/dev/null || fail "the supervisor did not start"
# The worker never beats: restarted at the first check.
for _ in $(seq 900); do
  grep -q "restarts 2 ," log_kq.txt 2>/dev/null && break
  sleep 0.1
done
grep -q "restarts 2 ," log_kq.txt 2>/dev/null || fail "no restart within 90 s"

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
# Each event: its type and ID, then its two strings, the sentence (a pattern) and the folder.
first=$(sed -n '1s/ .*//p' kq2_starts.txt) second=$(sed -n '2s/ .*//p' kq2_starts.txt)
folder=$(sed 's|/|\\\\|g' <<<"Z:$work")
event() {
  local type=$1 id=$2 channel=$3 sentence=$4
  grep -q "fixme:advapi:ReportEventW ([0-9A-F]*,$type,0x0000,$id,[0-9A-F]*,0x0002," terminal.txt &&
    grep -qE "$channel:eventlog:ReportEventW L\"$sentence\"" terminal.txt ||
    fail "no event $id: $sentence; terminal: $(grep ReportEventW terminal.txt)"
}
event 0x0004 0x00000001 trace "supervisor $(cat "$bin/../version.txt") started; kq2.exe with 2 arguments after /z is PID $first"
event 0x0002 0x00000002 warn "worker PID $first wrote no check.txt in 6[1-9] s; it was ended and kq2.exe started again as PID $second \\(restarts 2\\)"
event 0x0004 0x00000004 trace "ended by ESC; worker PID $second is left running"
grep -qF "eventlog:ReportEventW L\"$folder\"" terminal.txt || fail "no folder $folder in the events"
echo "typed_esc: one ESC ended the supervisor in $took ms with status 0 (its shell saw the end after" \
  "$seen ms); the worker runs on; the start, the restart and ESC were events"
