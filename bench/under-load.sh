#!/usr/bin/env bash
# The Windows tests again and again with every core kept busy by another program: a test that
# fails here has a race. Usage: bench/under-load.sh [RUNS] [TREE...], TREE i686 or x86_64; RUNS
# defaults to 10, and the trees to every one this machine runs (both where it runs 32-bit
# programs). Runs ctest on each tree as scripts/test.sh does (test_pack and the shell tests
# included), beside "stress-ng --cpu $(nproc)"; prints each run's tree, count and time (and, where
# Wine's held server went away, the signals it took), then "N passed, M failed" in runs per tree.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-10}
shift $(($# > 0))
jobs=$(nproc)

bash scripts/setup.sh || exit 1
command -v stress-ng >/dev/null || { apt-get install -y -qq stress-ng >/dev/null 2>&1 || sudo apt-get install -y -qq stress-ng; } || exit 1
. scripts/wine-bits.sh
. scripts/wine-watch.sh
trees=("$@")
if [ ${#trees[@]} = 0 ]; then
  kq2_runs_32bit && trees=(i686)
  trees+=(x86_64)
fi
log=$root/build/under-load
mkdir -p "$log"
load=
# Every prefix used is ended, whichever tree ran last.
prefixes=()
# The load by its job, not by its PID: a PID kept for hours may name another program by then.
trap 'kill $(jobs -pr) 2>/dev/null; for p in "${prefixes[@]}"; do WINEPREFIX=$p kq2_end_prefix; done' EXIT

status=0
for arch in "${trees[@]}"; do
  case $arch in
  i686) bits=32 ;;
  x86_64) bits=64 ;;
  *)
    echo "under-load: tree '$arch': i686 or x86_64" >&2
    exit 2
    ;;
  esac
  unset WINEPREFIX
  KQ2_WINE_BITS=$bits kq2_choose_wine || exit 1
  [ "$bits" = 64 ] || kq2_runs_32bit || { echo "under-load: the i686 tree: $(kq2_why_not_32bit)" >&2; exit 1; }
  tree=build/$KQ2_TREE
  export WINEDEBUG=-all
  prefixes+=("$WINEPREFIX")
  cmake --no-warn-unused-cli -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$KQ2_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null && cmake --build "$tree" -j "$jobs" >/dev/null || exit 1
  # The load starts once the tree is built, and stays for every run of every tree.
  if [ -z "$load" ]; then
    stress-ng --cpu "$jobs" --quiet &
    load=$!
  fi
  good=0
  bad=0
  for ((i = 1; i <= runs; i++)); do
    kq2_wine_prefix && kq2_hold_wineserver
    held=$(kq2_held_server_pid)
    kq2_trace_server "$held" "$log/$arch-server-$i.txt"
    start=$SECONDS
    (cd "$tree" && ctest --output-on-failure -j "$((jobs * 3))" --timeout 900) >"$log/$arch-run-$i.txt" 2>&1
    result=$?
    server=$(kq2_server_report "$held" "$log/$arch-server-$i.txt")
    kq2_end_prefix
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed' "$log/$arch-run-$i.txt" | tail -n 1)
    echo "run $i ($arch tree, $tree): ${summary:-no summary} in $((SECONDS - start)) s"
    [ -z "$server" ] || echo "$server"
    if [ "$result" = 0 ] && [ -z "$server" ]; then
      good=$((good + 1))
    else
      bad=$((bad + 1))
      grep -E '^ *[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Exception)' "$log/$arch-run-$i.txt"
    fi
  done
  echo "under load ($jobs cores busy), $arch tree: $good passed, $bad failed"
  [ "$bad" = 0 ] || status=1
done
exit "$status"
