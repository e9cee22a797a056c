#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and UndefinedBehaviorSanitizer and
# runs each for SECONDS (default 5), starting from its kept corpus in tests/fuzz/corpus/NAME.
# Usage: scripts/fuzz.sh [SECONDS] [NAME ...]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-5}
shift || true
out=${BUILD_DIR:-build}/fuzz
mkdir -p "$out"

# Each target and the OS-free sources it needs.
declare -A sources=(
  [fuzz_status_line]="watch/status_line.cpp watch/text_buf.cpp"
  [fuzz_split]="platform/command_line.cpp"
  [fuzz_join_environment]="platform/command_line.cpp platform/environment.cpp"
  [fuzz_key_decoder]="platform/key_decoder.cpp"
  [fuzz_utf8]="watch/utf8.cpp watch/text_buf.cpp"
)
names=("$@")
[ ${#names[@]} -gt 0 ] || names=("${!sources[@]}")

status=0
for name in "${names[@]}"; do
  # shellcheck disable=SC2086
  if ! clang++ -std=c++17 -g -O1 -I . -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=all -o "$out/$name" "tests/fuzz/$name.cpp" ${sources[$name]}; then
    echo "fuzz: $name does not build"
    status=1
    continue
  fi
  corpus=tests/fuzz/corpus/$name
  mkdir -p "$corpus" "$out/$name.new"
  # New finds go to a scratch folder; a crash input lands in $out to be kept as a regression case.
  if ! "$out/$name" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$out/$name-" \
    "$out/$name.new" "$corpus" >"$out/$name.log" 2>&1; then
    tail -n 30 "$out/$name.log"
    echo "fuzz: $name failed; keep the crash input from $out as tests/fuzz/corpus/$name/<name>"
    status=1
  else
    echo "fuzz: $name ran ${seconds}s: $(grep -Eo 'Done [0-9]+ runs' "$out/$name.log" | tail -n 1)"
  fi
done
exit "$status"
