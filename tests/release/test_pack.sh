#!/usr/bin/env bash
# The Windows test pack as a user runs it, under Wine: made from the build with its programs signed
# by a throw-away key (so signed programs are seen to run), unpacked into an empty folder and
# run-tests.cmd run in a terminal, where Wine gives it a console. Every check must pass and have run
# at least one test, and the folders the tests made must be gone.
# Usage: test_pack.sh BUILD_DIR WORK_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$2
rm -rf "$work" && mkdir -p "$work/bin" "$work/pack"
work=$(cd "$work" && pwd)
fail() { echo "test pack: $*"; exit 1; }
. "$here/../../scripts/wine-bits.sh"
kq2_choose_wine || exit 1
. "$here/throwaway_keys.sh"
use_pkcs12 "$work/keys" || fail "no throw-away key"
products=$(cat "$build/products.txt")
for exe in $products; do cp "$build/bin/$exe" "$work/bin/"; done
(cd "$work/bin" && bash "$here/../../scripts/sign.sh" $products) || fail "signing failed"
zip=$(bash "$here/../../scripts/make-test-pack.sh" "$build" "$work/bin" "$work") || fail "no pack"
unzip -p "$zip" tests/console_keys.exe >"$work/signed.exe"
osslsigncode verify -CAfile "$work/keys/ca.pem" -in "$work/signed.exe" >/dev/null ||
  fail "the pack's programs do not verify"
rm -rf "$work/keys"

cd "$work/pack" && unzip -q "$zip" || fail "cannot unpack $zip"
# Standard input that never ends, as scripts/wine-run.sh gives console programs.
mkfifo "$work/input"
kq2_check_bits bin/*.exe tests/*.exe || fail "programs of other bits than this Wine's"
script -qec "$KQ2_WINE cmd /c run-tests.cmd >console.txt 2>&1" /dev/null 0<>"$work/input" >/dev/null ||
  fail "run-tests.cmd failed: $(cat console.txt)"
checks=$(grep -cE '^[a-z]' "$here/../pack/checks.txt")
grep -qx "$checks passed, 0 failed"$'\r' results.txt || fail "results.txt: $(cat results.txt)"
[ -z "$(grep -L '^\[  PASSED  \] [1-9]' logs/*.txt)" ] || fail "a check ran no test: $(cat console.txt)"
[ ! -e tests/work ] || fail "tests\\work was left behind"
echo "test pack ($(kq2_pe_arch bin/supervisor.exe) build): $(tail -n 1 results.txt | tr -d '\r') in $SECONDS s"
