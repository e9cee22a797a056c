#!/usr/bin/env bash
# One ESC typed into the supervisor's terminal, as a person types it, ends the supervisor with
# status 0 within 3 seconds and leaves the worker running. The key is the byte a keyboard sends,
# written to the pseudo-terminal that Wine's console reads, not a record injected into the console.
# Usage: typed_esc.sh BIN_DIR WORK_DIR
set -u
bin=$1
work=$2
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$(dirname "$0")/../../build/windows/wineprefix}

rm -rf "$work"
mkdir -p "$work"
cp "$bin/supervisor.exe" "$bin/fkill.exe" "$bin/kq2.exe" "$work/"
cd "$work" || exit 1
keys=$work/keys
mkfifo "$keys"

# The Linux processes of the Wine programs running in this folder.
ours() {
  local p
  for p in $(pgrep -x "$1"); do
    [ "$(readlink "/proc/$p/cwd")" = "$work" ] && echo "$p"
  done
}
fail() {
  echo "typed_esc: $*"
  echo "typed_esc: log_kq.txt: $(cat log_kq.txt 2>/dev/null)"
  exit 1
}
# The terminal stays open after the supervisor ends, as a console window would, so that the worker
# keeps its console; everything started here is ended when the test ends.
script -qec "wine supervisor.exe /beat:2 /record; echo \$? >status.txt; exec sleep 60" /dev/null \
  0<>"$keys" >terminal.txt 2>&1 &
terminal=$!
trap 'kill $(ours kq2.exe) $(ours supervisor.exe) 2>/dev/null; pkill -P $terminal; kill $terminal 2>/dev/null' EXIT

for _ in $(seq 200); do
  grep -q "running since  2 seconds" log_kq.txt 2>/dev/null && break
  sleep 0.1
done
grep -q "running since  2 seconds" log_kq.txt 2>/dev/null || fail "the supervisor did not start"

typed=$(date +%s%N)
printf '\033' >"$keys"
for _ in $(seq 40); do
  [ -s status.txt ] && break
  sleep 0.1
done
took=$((($(date +%s%N) - typed) / 1000000))
[ -s status.txt ] || fail "one ESC did not end the supervisor within 3 s"
[ "$(cat status.txt)" = 0 ] || fail "the supervisor ended with status $(cat status.txt)"
[ "$took" -le 3000 ] || fail "the supervisor took $took ms to end"

sleep 1
worker=$(ours kq2.exe)
[ -n "$worker" ] && [ "$(ps -o stat= -p "$worker" | cut -c1)" != Z ] || fail "the worker did not outlive the supervisor"
echo "typed_esc: one ESC ended the supervisor in $took ms with status 0; the worker runs on"
