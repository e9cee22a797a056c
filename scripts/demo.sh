#!/usr/bin/env bash
# Runs the supervisor on Wine with the demo worker, in this terminal. The worker beats every
# 5 seconds and hangs after 20, so the second check (about two minutes in) kills and relaunches
# it. Press ESC to end the supervisor; the demo then ends the worker it left running.
# Without a terminal it runs for DEMO_SECONDS (default 150) and stops.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh || exit 1
# The i686 build where this machine runs 32-bit programs, else the x86_64 one under wine64.
. scripts/wine-bits.sh
kq2_choose_wine || exit 1
tree=build/$KQ2_TREE
echo "demo: building (about 20 s)"
# Quiet while it works; a failure shows the build's own output.
build_log=$(mktemp)
if ! { cmake --no-warn-unused-cli -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$KQ2_TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=MinSizeRel &&
  cmake --build "$tree" -j "$(nproc)" --target supervisor fkill kq2; } >"$build_log" 2>&1; then
  cat "$build_log" >&2
  rm -f "$build_log"
  echo "demo: the build failed" >&2
  exit 1
fi
rm -f "$build_log"

demo=$root/build/demo
mkdir -p "$demo"
rm -f "$demo"/check.txt "$demo"/log_kq.txt "$demo"/*.exe
cp "$tree"/bin/supervisor.exe "$tree"/bin/fkill.exe "$tree"/bin/kq2.exe "$demo/"
[ -z "$KQ2_NOT_RUN" ] || echo "demo: the $(kq2_pe_arch "$demo/supervisor.exe") build ($KQ2_NOT_RUN)"

export WINEDEBUG=-all
# One prefix per bitness: wine64 refuses a 32-bit one.
export WINEPREFIX=$demo/wineprefix$([ "$KQ2_BITS" = 64 ] && echo 64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "demo: preparing Wine (once, 10 to 20 seconds)"
  kq2_wine_prefix
fi
trap 'wineserver -k >/dev/null 2>&1' EXIT

# Shows the status line every 5 seconds, and each kill and relaunch, which the supervisor itself
# does silently.
watch_status() {
  local last="" line pid restarts tick=0
  while sleep 1; do
    [ -f "$demo/log_kq.txt" ] || continue
    line=$(tr -d '\r\n' <"$demo/log_kq.txt")
    [[ $line =~ restarts\ ([0-9]+)\ ,\ PID\ (-?[0-9]+) ]] || continue
    restarts=${BASH_REMATCH[1]}
    pid=${BASH_REMATCH[2]}
    if [ -n "$last" ] && [ "$last" != "$restarts" ]; then
      printf 'demo: no heartbeat at the check: worker killed with fkill, relaunched as PID %s\r\n' "$pid"
    fi
    last=$restarts
    tick=$((tick + 1))
    if [ $((tick % 5)) -eq 1 ]; then
      printf 'demo: log_kq.txt: %s\r\n' "$line"
    fi
  done
}
watch_status &
watcher=$!

cd "$demo"
echo "demo: supervisor.exe /beat:5 /hang:20 in $demo"
if [ -t 0 ]; then
  echo "demo: press ESC to end the supervisor"
  kq2_wine supervisor.exe /beat:5 /hang:20
else
  echo "demo: no terminal; stopping after ${DEMO_SECONDS:-150} seconds"
  kq2_check_bits supervisor.exe && timeout "${DEMO_SECONDS:-150}" "$KQ2_WINE" supervisor.exe /beat:5 /hang:20
fi
status=$?
kill "$watcher" 2>/dev/null
echo "demo: supervisor ended with status $status; log_kq.txt holds: $(tr -d '\r' <log_kq.txt)"
echo "demo: the worker was left running, as designed; ending it now"
