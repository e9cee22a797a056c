#!/usr/bin/env bash
# The longest pass under Wine with every command hanging to its 30 s limit: the supervisor runs a
# worker that never beats, with ComSpec naming sleeper.exe, which never ends, so each check's fkill
# is stopped, its worker survives and is named again in the pass after. log_kq.txt's modification
# time is read every 0.1 s for SECONDS_RUN (default 200: two checks and the survivor's pass between
# them); each gap over 1.5 s is printed with the line written after it, then the longest.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
seconds_run=${SECONDS_RUN:-200}
# shellcheck source=scripts/wine-bits.sh
. scripts/wine-bits.sh
kq2_choose_wine || exit 1
cmake --no-warn-unused-cli -S . -B "build/$KQ2_TREE" -DCMAKE_TOOLCHAIN_FILE="$KQ2_TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null || exit 1
cmake --build "build/$KQ2_TREE" -j 2 --target supervisor kq2 bench_programs >/dev/null || exit 1
work=$root/build/bench/pass-bound
rm -rf "$work" && mkdir -p "$work" || exit 1
cp "build/$KQ2_TREE/bin/supervisor.exe" "build/$KQ2_TREE/bin/kq2.exe" "$work/" || exit 1
export WINEDEBUG=-all
export WINEPREFIX=$root/build/$KQ2_TREE/wineprefix
kq2_wine_prefix
trap 'wineserver -k >/dev/null 2>&1' EXIT
sleeper="Z:${root//\//\\}\\build\\$KQ2_TREE\\bench\\sleeper.exe"
cd "$work" || exit 1
# Wine's registry sets ComSpec over the Linux environment's: cmd passes it on.
"$KQ2_WINE" cmd /c "set ComSpec=$sleeper&& supervisor.exe /nobeat" </dev/null >output.txt 2>&1 &
start=$(date +%s.%N)
last=
while awk -v n="$(date +%s.%N)" -v s="$start" -v r="$seconds_run" 'BEGIN { exit !(n - s < r) }'; do
  written=$(stat -c %.9Y log_kq.txt 2>/dev/null)
  if [ -n "$written" ] && [ "$written" != "$last" ]; then
    [ -n "$last" ] && awk -v a="$written" -v b="$last" -v line="$(tr -d '\r\n' <log_kq.txt)" \
      'BEGIN { if (a - b > 1.5) printf "gap %.1f s, then: %s\n", a - b, line }'
    last=$written
  fi
  sleep 0.1
done | tee gaps.txt
sort -t' ' -k2 -g gaps.txt | tail -n 1 | sed 's/^gap/pass-bound: longest gap/'
