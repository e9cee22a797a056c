#!/usr/bin/env bash
# The Windows tests again and again with every core kept busy by another program: a test that
# fails here has a race. Usage: bench/under-load.sh [RUNS] (default 10). Runs ctest on the tree
# this machine runs, as scripts/test.sh does (test_pack and the shell tests included), beside
# "stress-ng --cpu $(nproc)"; prints each run's count and time, then "N passed, M failed" in runs.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-10}
jobs=$(nproc)

bash scripts/setup.sh || exit 1
command -v stress-ng >/dev/null || { apt-get install -y -qq stress-ng >/dev/null 2>&1 || sudo apt-get install -y -qq stress-ng; } || exit 1
. scripts/wine-bits.sh
kq2_choose_wine || exit 1
tree=build/$KQ2_TREE
cmake --no-warn-unused-cli -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$KQ2_TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null && cmake --build "$tree" -j "$jobs" >/dev/null || exit 1
export WINEDEBUG=-all WINEPREFIX=$root/$tree/wineprefix
log=$root/build/under-load
mkdir -p "$log"
stress-ng --cpu "$jobs" --quiet &
load=$!
trap 'kill $load 2>/dev/null; wineserver -k >/dev/null 2>&1' EXIT

good=0
bad=0
for ((i = 1; i <= runs; i++)); do
  kq2_wine_prefix && kq2_hold_wineserver
  start=$SECONDS
  (cd "$tree" && ctest --output-on-failure -j "$((jobs * 3))" --timeout 900) >"$log/run-$i.txt" 2>&1
  status=$?
  wineserver -k >/dev/null 2>&1
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed' "$log/run-$i.txt" | tail -n 1)
  echo "run $i: ${summary:-no summary} in $((SECONDS - start)) s"
  if [ "$status" = 0 ]; then
    good=$((good + 1))
  else
    bad=$((bad + 1))
    grep -E '^ *[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Exception)' "$log/run-$i.txt"
  fi
done
echo "under load ($jobs cores busy): $good passed, $bad failed"
[ "$bad" = 0 ]
