#!/usr/bin/env bash
# The one test command: installs what is missing, builds the trees and runs every test.
# Ends with one line "N passed, M failed"; exits non-zero when anything failed.
# The Windows tests run on the i686 tree, which ships, where this machine runs 32-bit programs, and
# on an x86_64 tree of the same sources under wine64 where it cannot (or with KQ2_WINE_BITS=64).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

bash scripts/setup.sh || { echo "setup failed"; exit 1; }
. scripts/wine-bits.sh
. scripts/wine-watch.sh
kq2_choose_wine || exit 1

# BUILD_DIR lets several checkouts' builds live side by side; each tree has its own Wine prefix.
build_dir=${BUILD_DIR:-build}
win_tree=$build_dir/$KQ2_TREE
export WINEDEBUG=-all
export WINEPREFIX=$root/$win_tree/wineprefix
# A worker outlives its supervisor by design: end everything Wine still runs, whatever happens.
trap kq2_end_prefix EXIT

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
# Runs ctest in a Windows tree with Wine's server held for the run, and says so if it went away.
run_wine_ctest() {
  local held
  kq2_wine_prefix && kq2_hold_wineserver
  held=$(kq2_held_server_pid)
  kq2_trace_server "$held" "$1/server-signals.txt"
  run_ctest "$1"
  kq2_server_report "$held" "$1/server-signals.txt"
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

# Setup's choice of path against stand-ins for apt and dpkg: a broken index, a 32-bit part that
# cannot be installed, a kernel without 32-bit programs, a required package missing.
check "setup paths" bash tests/setup/setup_paths.sh
# The shipped alerting rules under promtool's unit tests, and the Icinga 2 and Nagios definitions
# through each engine's own configuration check.
check "monitoring definitions" bash tests/monitoring/engines.sh

if check "native build" build "$build_dir/native" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON; then
  run_ctest "$build_dir/native"
fi

# The i686 tree is built and its products checked on every machine: they are what ships.
if check "windows build" build "$build_dir/windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON; then
  if [ "$KQ2_BITS" = 32 ]; then
    run_wine_ctest "$build_dir/windows"
  fi
  check "products" bash scripts/check-products.sh "$build_dir/windows/bin"
fi

# The i686 products' version resources, read by the test program of the tree that runs.
i686_versions() {
  local dir=$win_tree/i686-versions
  rm -rf "$dir" && mkdir -p "$dir/bin" "$dir/tests" &&
    cp "$build_dir"/windows/bin/*.exe "$dir/bin/" && cp "$win_tree/tests/test_version.exe" "$dir/tests/" &&
    kq2_wine "$dir/tests/test_version.exe" </dev/null >"$dir/log.txt" 2>&1 || { cat "$dir/log.txt"; return 1; }
}
if [ "$KQ2_BITS" = 64 ] && check "x86_64 windows build" build "$win_tree" \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake; then
  # Every program the tests can start, 64-bit: wine64 would start a leftover 32-bit one.
  if check "x86_64 programs" kq2_check_bits "$win_tree"/bin/*.exe "$win_tree"/tests/*.exe; then
    run_wine_ctest "$win_tree"
    check "i686 version resources" i686_versions
  fi
fi

# The bench's programs, which no test builds, keep building without a warning in the tree it takes.
bench_programs() {
  cmake --build "$win_tree" -j "$jobs" --target bench_programs -- --no-print-directory 2>&1 |
    grep -vE '^\[ *[0-9]+%\]'
  return "${PIPESTATUS[0]}"
}
check "bench programs" bench_programs

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
  check "reproducible products and zip" same_bytes
  zip=$(ls "$repro"/zip-a/*.zip 2>/dev/null)
  if [ -n "$zip" ]; then
    if [ "$KQ2_BITS" = 32 ]; then
      check "unpacked zip" bash tests/release/unpacked_zip.sh "$zip" "$repro/unpacked"
    else
      # The release zip from its bytes; its run on a zip made the same way from the x86_64 tree.
      check "unpacked zip, bytes" bash tests/release/unpacked_zip.sh "$zip" "$repro/unpacked" bytes
      check "unpacked zip, x86_64" env KQ2_WINE_BITS=64 bash -c 'zip=$(bash scripts/make-zip.sh "$1" "$2") &&
        bash tests/release/unpacked_zip.sh "$zip" "$3"' - "$win_tree" "$repro/zip-x86_64" "$repro/unpacked-x86_64"
    fi
  fi
  check "task xml" bash tests/release/task_xml.sh release/kq2-supervisor-task.xml "$zip"
  # A signed build checked against the rebuild from the other folder.
  check "signed rebuild" bash tests/release/signed_rebuild.sh "$build_dir/windows/bin" "$repro/out/bin" \
    "$repro/signed"
  # The package's test runs the boot task's command line after an upgrade: from the zip whose
  # programs this machine runs (the x86_64 one beside the release's where 32-bit programs cannot run).
  msi_zip=$zip
  [ "$KQ2_BITS" = 32 ] || msi_zip=$(ls "$repro"/zip-x86_64/*.zip 2>/dev/null)
  check "msi" bash tests/release/msi.sh "$msi_zip" "$repro/msi"
fi

check "static checks" env BUILD_DIR="$build_dir" bash scripts/static-checks.sh
# Short fuzz runs; bench/run.sh runs them longer.
check "fuzzing" env BUILD_DIR="$build_dir" bash scripts/fuzz.sh 5

if [ "$KQ2_BITS" = 64 ]; then
  echo "Windows tests: ran on the x86_64 tree ($win_tree) under wine64"
  echo "i686 Windows tests: not run ($KQ2_NOT_RUN)"
else
  echo "Windows tests: ran on the i686 tree ($win_tree)"
fi
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
