#!/usr/bin/env bash
# Benchmarks, each against a baseline measured in the same run; prints five ratios.
#   1. idle cost: CPU of the supervisor with a beating demo worker vs. a program that makes only
#      the platform calls every loop must make (the target), and vs. one that sleeps a second at a
#      time; all in terminals on Wine for IDLE_SECONDS (default 150), read from /proc on the Linux
#      side (GetProcessTimes answers 0 on Wine 8);
#   2. recovery latency: no heartbeat -> new worker running, vs. one "cmd.exe /c fkill PID" of a
#      live process plus one CreateProcessA (bench/windows/recovery_bench.cpp);
#   3. soak over the simulated platform: 1,000,000 passes, heap allocations counted by valgrind
#      against a 1,000-pass run;
#   4. soak under Wine: SOAK_LOOPS (default 500) real loops, handles and private bytes after the
#      first minute vs. at the end (bench/windows/soak_harness.cpp), and private bytes over 400
#      repeats of each operation (bench/windows/repeat_ops.cpp).
#   5. kq2stat on a live supervisor's folder, start to exit, vs. a trivial program's start (a
#      monitoring agent starts kq2stat every minute; bench/windows/stat_bench.cpp).
# Then each fuzz target runs for FUZZ_SECONDS (default 60). "bench/run.sh kq2stat" runs 5 alone.
# The timed parts run first, the Wine soak after them: beside it they took up to 1.16 x.
# Where this machine cannot run 32-bit programs (or with KQ2_WINE_BITS=64), the x86_64 build is
# measured under wine64, and its figures are labelled so: they are not the shipping i686 build's.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
idle_seconds=${IDLE_SECONDS:-150}
soak_loops=${SOAK_LOOPS:-500}
fuzz_seconds=${FUZZ_SECONDS:-60}

bash scripts/setup.sh || exit 1
command -v valgrind >/dev/null || { apt-get install -y -qq valgrind >/dev/null 2>&1 || sudo apt-get install -y -qq valgrind; }
. scripts/wine-bits.sh
kq2_choose_wine || exit 1
cmake --no-warn-unused-cli -S . -B "build/$KQ2_TREE" -DCMAKE_TOOLCHAIN_FILE="$KQ2_TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null || exit 1
cmake --build "build/$KQ2_TREE" -j "$(nproc)" --target supervisor fkill kq2 kq2stat bench_programs >/dev/null || exit 1
bin=$root/build/$KQ2_TREE/bin
benchbin=$root/build/$KQ2_TREE/bench
kq2_check_bits "$bin"/*.exe "$benchbin"/*.exe || exit 1
build_name="$(kq2_pe_arch "$bin/supervisor.exe") build"
[ -z "$KQ2_NOT_RUN" ] || build_name="$build_name, not the shipping i686 one, as $KQ2_NOT_RUN"
echo "bench: measuring the $build_name"
work=$root/build/bench
rm -rf "$work/idle" "$work/base" "$work/loop" "$work/recovery" "$work/soak"
mkdir -p "$work/idle" "$work/base" "$work/loop" "$work/recovery" "$work/soak"

export WINEDEBUG=-all
export WINEPREFIX=$work/wineprefix$([ "$KQ2_BITS" = 64 ] && echo 64)
kq2_wine_prefix
trap 'wineserver -k >/dev/null 2>&1' EXIT

# shellcheck source=scripts/wine-pids.sh
. scripts/wine-pids.sh
# CPU time of a Linux process in nanoseconds (the scheduler's count: /proc/PID/stat counts in
# hundredths, too coarse for a program that sleeps nearly all the time).
cpu_ns() {
  awk '{ print $1 }' "/proc/$1/schedstat"
}
# Runs a Wine program in a terminal of its own, as a console program normally runs.
in_terminal() {
  local dir=$1 fifo
  shift
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  (cd "$dir" && script -qec "$KQ2_WINE $*" /dev/null 0<>"$fifo" >/dev/null 2>&1; rm -f "$fifo") &
}
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'
}
# 5. kq2stat, on a folder where a supervisor keeps a beating demo worker.
stat_bench() {
  rm -rf "$work/stat"
  mkdir -p "$work/stat/live"
  cp "$bin/supervisor.exe" "$bin/fkill.exe" "$bin/kq2.exe" "$work/stat/live/"
  cp "$bin/kq2stat.exe" "$benchbin/stat_bench.exe" "$benchbin/exit_at_once.exe" "$work/stat/"
  in_terminal "$work/stat/live" supervisor.exe /beat:5
  sleep 5
  (cd "$work/stat" && "$KQ2_WINE" stat_bench.exe 50 live 2>&1)
  # shellcheck disable=SC2046
  kill $(wine_pids supervisor.exe "$work/stat/live") $(wine_pids kq2.exe "$work/stat/live") 2>/dev/null
}
if [ "${1:-}" = kq2stat ]; then
  stat_bench
  exit
fi

# 1. Idle cost.
cp "$bin/supervisor.exe" "$bin/fkill.exe" "$bin/kq2.exe" "$work/idle/"
cp "$benchbin/sleeper.exe" "$work/base/"
cp "$benchbin/loop_work.exe" "$work/loop/"
in_terminal "$work/idle" supervisor.exe /beat:5
in_terminal "$work/base" sleeper.exe
in_terminal "$work/loop" loop_work.exe
sleep 5
sup=$(wine_pids supervisor.exe "$work/idle" | head -n 1)
base=$(wine_pids sleeper.exe "$work/base" | head -n 1)
loop=$(wine_pids loop_work.exe "$work/loop" | head -n 1)
if [ -z "$sup" ] || [ -z "$base" ] || [ -z "$loop" ]; then
  echo "bench: the idle programs did not start"
  exit 1
fi
sup0=$(cpu_ns "$sup")
base0=$(cpu_ns "$base")
loop0=$(cpu_ns "$loop")
sleep "$idle_seconds"
sup_cpu=$(($(cpu_ns "$sup") - sup0))
base_cpu=$(($(cpu_ns "$base") - base0))
loop_cpu=$(($(cpu_ns "$loop") - loop0))
idle_line=$(awk -v s="$sup_cpu" -v b="$base_cpu" -v l="$loop_cpu" -v t="$idle_seconds" 'BEGIN {
  printf "over %d s: supervisor %.3f s CPU (%.2f s per hour); sleeper %.3f s (%.2f s per hour); " \
    "loop work alone %.3f s (%.2f s per hour)", t, s / 1e9, s / 1e9 * 3600 / t, b / 1e9,
    b / 1e9 * 3600 / t, l / 1e9, l / 1e9 * 3600 / t }')
idle_ratio=$(ratio "$sup_cpu" "$base_cpu")
loop_ratio=$(ratio "$sup_cpu" "$loop_cpu")
kill "$sup" "$base" "$loop" 2>/dev/null

# 2. Recovery latency.
cp "$bin/fkill.exe" "$benchbin/recovery_bench.exe" "$benchbin/exit_at_once.exe" "$work/recovery/"
cp "$benchbin/started_probe.exe" "$work/recovery/kq2.exe"
recovery_line=$(cd "$work/recovery" && "$KQ2_WINE" recovery_bench.exe 20 2>&1)
recovery_ratio=$(awk '/^recovery/ { if ($5 > 0) printf "%.2f", $2 / $5; else print "n/a" }' <<<"$recovery_line")

# How private bytes follow the count of each operation.
cp "$benchbin/repeat_ops.exe" "$work/recovery/"
repeat_lines=$(cd "$work/recovery" && for op in launch shell write; do "$KQ2_WINE" repeat_ops.exe "$op"; done 2>&1)

stat_line=$(stat_bench)
stat_ratio=$(sed -nE 's/.*ratio ([0-9.]+).*/\1/p' <<<"$stat_line")

# 4. The Wine soak runs longest, and times nothing: beside the simulated soak and the fuzzers.
cp "$bin/supervisor.exe" "$bin/fkill.exe" "$bin/kq2.exe" "$benchbin/soak_harness.exe" "$work/soak/"
(cd "$work/soak" && "$KQ2_WINE" soak_harness.exe "$soak_loops" >"$work/soak.log" 2>&1; echo $? >"$work/soak.status") &
soak_job=$!

# 3. Soak over the simulated platform.
g++ -std=c++17 -O2 -I . -o "$work/soak_native" bench/soak.cpp tests/native/fake_platform.cpp \
  supervisor/watchdog.cpp watch/status_line.cpp watch/text_buf.cpp supervisor/child_argv.cpp \
  supervisor/history.cpp supervisor/event_sentences.cpp -DKQ2_VERSION='"soak"' || exit 1
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
echo "== figures of the $build_name"
echo "== idle cost (target: at most 1.15 x the loop's platform calls alone)"
echo "$idle_line"
echo "== recovery latency (target: at most 1.1 x baseline)"
echo "$recovery_line"
echo "== soak over the simulated platform (target: allocations flat)"
echo "$native_line"
echo "heap allocations: $allocs_small for 1,000 passes, $allocs_large for 1,000,000 passes"
echo "== soak under Wine (target: handles and private bytes flat)"
echo "$soak_line"
echo "$repeat_lines"
echo "== kq2stat on a live folder (target: at most 1.5 x a trivial program's start)"
echo "$stat_line"
echo "== fuzzing"
echo "$fuzz_line"
echo
echo "ratios ($build_name): idle cost $loop_ratio (vs. a bare sleeper: $idle_ratio); recovery latency $recovery_ratio; simulated soak allocations $native_ratio; Wine soak $soak_ratio; kq2stat $stat_ratio"
