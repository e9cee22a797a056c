#!/usr/bin/env bash
# The one test command: installs what is missing, builds both trees and runs every test.
# Ends with one line "N passed, M failed"; exits non-zero when anything failed.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

bash scripts/setup.sh || { echo "setup failed"; exit 1; }

# BUILD_DIR lets several checkouts' builds live side by side; each has its own Wine prefix.
build_dir=${BUILD_DIR:-build}
export WINEDEBUG=-all
export WINEPREFIX=$root/$build_dir/windows/wineprefix
# A worker outlives its supervisor by design: end everything Wine still runs, whatever happens.
trap 'wineserver -k >/dev/null 2>&1' EXIT

passed=0
failed=0
# Runs ctest in a build tree and adds its counts.
run_ctest() {
  local dir=$1 log
  log=$(mktemp)
  # The long Windows tests mostly sleep through their minute: run more of them at once.
  (cd "$dir" && ctest --output-on-failure -j "$((jobs * 3))" --timeout 900) 2>&1 | tee "$log"
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "ctest in $dir gave no summary"
    failed=$((failed + 1))
  else
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
}
# Runs one extra check and counts it as a test.
check() {
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAILED: $name"
    failed=$((failed + 1))
    return 1
  fi
}
build() {
  local dir=$1
  shift
  cmake --no-warn-unused-cli -S . -B "$dir" -DCMAKE_BUILD_TYPE=MinSizeRel "$@" >/dev/null &&
    cmake --build "$dir" -j "$jobs" -- --no-print-directory 2>&1 | grep -vE '^\[ *[0-9]+%\]'
  return "${PIPESTATUS[0]}"
}

if check "native build" build "$build_dir/native" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON; then
  run_ctest "$build_dir/native"
fi

if check "windows build" build "$build_dir/windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON; then
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
  run_ctest "$build_dir/windows"
  check "products" bash scripts/check-products.sh "$build_dir/windows/bin"
fi

# The products again, from a copy of the sources in another folder, configured without tests and
# with GoogleTest's sources pointing nowhere: they need nothing but the compiler, and come out
# byte for byte the same. So does the release zip made from them.
repro=$(realpath -m "$build_dir/repro")
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
products_only() {
  rm -rf "$repro"
  mkdir -p "$repro/src"
  tar -c --exclude=./build --exclude=./dist --exclude=./.git . | tar -x -C "$repro/src"
  cmake --no-warn-unused-cli -S "$repro/src" -B "$repro/out" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$repro/src/cmake/mingw-i686.cmake" -DBUILD_TESTING=OFF \
    -DGTEST_SOURCE_DIR=/nonexistent/googletest >/dev/null &&
    cmake --build "$repro/out" -j "$jobs" >/dev/null
}
same_bytes() {
  local name status=0
  for name in supervisor.exe fkill.exe kq2.exe kq2stat.exe; do
    cmp -s "$build_dir/windows/bin/$name" "$repro/out/bin/$name" || { echo "$name differs"; status=1; }
  done
  bash scripts/make-zip.sh "$build_dir/windows" "$repro/zip-a" >/dev/null &&
    bash scripts/make-zip.sh "$repro/out" "$repro/zip-b" >/dev/null || return 1
  cmp "$repro"/zip-a/*.zip "$repro"/zip-b/*.zip || status=1
  return "$status"
}
if check "products-only build" products_only; then
  check "reproducible products and zip" same_bytes &&
    check "unpacked zip" bash tests/release/unpacked_zip.sh "$(ls "$repro"/zip-a/*.zip)" "$repro/unpacked"
  check "task xml" bash tests/release/task_xml.sh release/kq2-supervisor-task.xml \
    "$(ls "$repro"/zip-a/*.zip)"
  # A signed build checked against the rebuild from the other folder.
  check "signed rebuild" bash tests/release/signed_rebuild.sh "$build_dir/windows/bin" "$repro/out/bin" \
    "$repro/signed"
  check "msi" bash tests/release/msi.sh "$(ls "$repro"/zip-a/*.zip)" "$repro/msi"
fi

check "static checks" env BUILD_DIR="$build_dir" bash scripts/static-checks.sh
# Short fuzz runs; bench/run.sh runs them longer.
check "fuzzing" env BUILD_DIR="$build_dir" bash scripts/fuzz.sh 5

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
