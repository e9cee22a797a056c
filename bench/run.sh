#!/usr/bin/env bash
# Benchmarks, each against a baseline measured in the same run; prints four ratios.
#   1. idle cost: CPU of the supervisor with a beating demo worker vs. a program that sleeps a
#      second at a time, both on Wine for IDLE_SECONDS (default 150), read from /proc on the Linux
#      side (GetProcessTimes answers 0 on Wine 8);
#   2. recovery latency: no heartbeat -> new worker running, vs. one "cmd.exe /c" run plus one
#      CreateProcessA (bench/windows/recovery_bench.cpp);
#   3. soak over the simulated platform: 1,000,000 passes, heap allocations counted by valgrind
#      against a 1,000-pass run;
#   4. soak under Wine: SOAK_LOOPS (default 500) real loops, handles and private bytes after the
#      first minute vs. at the end (bench/windows/soak_harness.cpp).
# Then each fuzz target runs for FUZZ_SECONDS (default 60).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
idle_seconds=${IDLE_SECONDS:-150}
soak_loops=${SOAK_LOOPS:-500}
fuzz_seconds=${FUZZ_SECONDS:-60}

bash scripts/setup.sh || exit 1
command -v valgrind >/dev/null || { apt-get install -y -qq valgrind >/dev/null 2>&1 || sudo apt-get install -y -qq valgrind; }
cmake --no-warn-unused-cli -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null || exit 1
cmake --build build/windows -j "$(nproc)" --target supervisor fkill kq2 bench_programs >/dev/null || exit 1
bin=$root/build/windows/bin
benchbin=$root/build/windows/bench
work=$root/build/bench
rm -rf "$work/idle" "$work/base" "$work/recovery" "$work/soak"
mkdir -p "$work/idle" "$work/base" "$work/recovery" "$work/soak"

export WINEDEBUG=-all
export WINEPREFIX=$work/wineprefix
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1' EXIT

# The Linux process of the Wine program NAME running in folder DIR.
linux_pid() {
  local p
  for p in $(pgrep -x "$1"); do
    [ "$(readlink "/proc/$p/cwd")" = "$2" ] && { echo "$p"; return; }
  done
}
# User plus system CPU of a Linux process, in clock ticks.
cpu_ticks() {
  awk '{ print $14 + $15 }' "/proc/$1/stat"
}
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'
}

# 4 runs longest: start it first, beside the others.
cp "$bin/supervisor.exe" "$bin/fkill.exe" "$bin/kq2.exe" "$benchbin/soak_harness.exe" "$work/soak/"
(cd "$work/soak" && wine soak_harness.exe "$soak_loops" >"$work/soak.log" 2>&1; echo $? >"$work/soak.status") &
soak_job=$!

# 1. Idle cost.
cp "$bin/supervisor.exe" "$bin/fkill.exe" "$bin/kq2.exe" "$work/idle/"
cp "$benchbin/sleeper.exe" "$work/base/"
(cd "$work/idle" && exec wine supervisor.exe /beat:5 >/dev/null 2>&1) &
(cd "$work/base" && exec wine sleeper.exe >/dev/null 2>&1) &
sleep 5
sup=$(linux_pid supervisor.exe "$work/idle")
base=$(linux_pid sleeper.exe "$work/base")
if [ -z "$sup" ] || [ -z "$base" ]; then
  echo "bench: the idle programs did not start"
  exit 1
fi
sup0=$(cpu_ticks "$sup")
base0=$(cpu_ticks "$base")
sleep "$idle_seconds"
sup_cpu=$(($(cpu_ticks "$sup") - sup0))
base_cpu=$(($(cpu_ticks "$base") - base0))
hz=$(getconf CLK_TCK)
idle_line=$(awk -v s="$sup_cpu" -v b="$base_cpu" -v hz="$hz" -v t="$idle_seconds" 'BEGIN {
  printf "supervisor %.2f s CPU (%.1f s per hour), sleeper %.2f s CPU (%.1f s per hour) over %d s",
    s / hz, s / hz * 3600 / t, b / hz, b / hz * 3600 / t, t }')
idle_ratio=$(ratio "$sup_cpu" "$base_cpu")
kill "$sup" "$base" 2>/dev/null

# 2. Recovery latency.
cp "$bin/fkill.exe" "$benchbin/recovery_bench.exe" "$benchbin/exit_at_once.exe" "$work/recovery/"
cp "$benchbin/started_probe.exe" "$work/recovery/kq2.exe"
recovery_line=$(cd "$work/recovery" && wine recovery_bench.exe 20 2>&1)
recovery_ratio=$(awk '/^recovery/ { if ($5 > 0) printf "%.2f", $2 / $5; else print "n/a" }' <<<"$recovery_line")

# 3. Soak over the simulated platform.
g++ -std=c++17 -O2 -I . -o "$work/soak_native" bench/soak.cpp tests/native/fake_platform.cpp \
  supervisor/watchdog.cpp supervisor/status_line.cpp supervisor/child_argv.cpp || exit 1
native_line=$("$work/soak_native" 1000000)
allocs() { valgrind "$work/soak_native" "$1" 2>&1 | sed -nE 's/.*total heap usage: ([0-9,]+) allocs.*/\1/p' | tr -d ,; }
allocs_small=$(allocs 1000)
allocs_large=$(allocs 1000000)
native_ratio=$(ratio "$allocs_large" "$allocs_small")

# 5. Longer fuzzing, while the Wine soak finishes.
fuzz_line=$(bash scripts/fuzz.sh "$fuzz_seconds" 2>&1)

wait "$soak_job"
soak_line=$(cat "$work/soak.log")
soak_ratio=$(awk '/handles after/ { gsub(",", ""); h = ($6 > 0) ? $9 / $6 : 0; p = ($15 > 0) ? $18 / $15 : 0;
  printf "handles %.2f, private bytes %.2f", h, p }' <<<"$soak_line")

echo
echo "== idle cost (target: at most 1.5 x baseline)"
echo "$idle_line"
echo "== recovery latency (target: at most 1.2 x baseline)"
echo "$recovery_line"
echo "== soak over the simulated platform (target: allocations flat)"
echo "$native_line"
echo "heap allocations: $allocs_small for 1,000 passes, $allocs_large for 1,000,000 passes"
echo "== soak under Wine (target: handles and private bytes flat)"
echo "$soak_line"
echo "== fuzzing"
echo "$fuzz_line"
echo
echo "ratios: idle cost $idle_ratio; recovery latency $recovery_ratio; simulated soak allocations $native_ratio; Wine soak $soak_ratio"
