#!/usr/bin/env bash
# The Windows test pack as a user runs it, under Wine: made from the build with its programs signed
# by a throw-away key (so signed programs are seen to run), unpacked into an empty folder and
# run-tests.cmd run in a terminal, where Wine gives it a console. Every check must pass and have run
# at least one test, and the folders the tests made must be gone. The folder's path holds a blank,
# as a user's profile folder may.
# Usage: test_pack.sh BUILD_DIR WORK_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$2
pack="$work/John Smith/pack"
rm -rf "$work" && mkdir -p "$work/bin" "$pack"
work=$(cd "$work" && pwd)
fail() { echo "test pack: $*"; exit 1; }
. "$here/../../scripts/wine-bits.sh"
. "$here/../../scripts/wine-watch.sh"
kq2_choose_wine || exit 1
export WINEDEBUG=-all
kq2_wine_prefix
. "$here/throwaway_keys.sh"
use_pkcs12 "$work/keys" || fail "no throw-away key"
products=$(cat "$build/products.txt")
for exe in $products; do cp "$build/bin/$exe" "$work/bin/"; done
(cd "$work/bin" && bash "$here/../../scripts/sign.sh" $products) || fail "signing failed"
zip=$(bash "$here/../../scripts/make-test-pack.sh" "$build" "$work/bin" "$work") || fail "no pack"
unzip -p "$zip" windows-test-pack.md | grep -q $'^# Testing on real Windows\r$' || fail "no tester's page"
unzip -p "$zip" tests/console_keys.exe >"$work/signed.exe"
osslsigncode verify -CAfile "$work/keys/ca.pem" -in "$work/signed.exe" >/dev/null ||
  fail "the pack's programs do not verify"
rm -rf "$work/keys"

cd "$pack" && unzip -q "$zip" || fail "cannot unpack $zip"
# Started where its folder cannot be made current (here a path too long for one), the runner stops
# before it deletes or writes anything in the caller's folder.
deep=$work/$(printf 'd%.0s' {1..150})/$(printf 'e%.0s' {1..150})
mkdir -p "$deep" "$work/caller/logs" && cp run-tests.cmd "$deep/" && touch "$work/caller/logs/keep"
(cd "$work/caller" && kq2_wine cmd /c "Z:${deep//\//\\}\\run-tests.cmd" >/dev/null 2>&1)
[ $? = 2 ] && [ -e "$work/caller/logs/keep" ] && [ ! -e "$work/caller/results.txt" ] ||
  fail "run-tests.cmd went on outside its folder"
# Standard input that never ends, as scripts/wine-run.sh gives console programs.
mkfifo "$work/input"
kq2_check_bits bin/*.exe tests/*.exe || fail "programs of other bits than this Wine's"
# A failed check shows its log: results.txt holds every log after the counts. A pack that hangs is
# ended after 10 minutes, naming the check then running (its log is the newest in logs/).
kq2_run_bounded 600 console.txt script -qec "$KQ2_WINE cmd /c run-tests.cmd >>console.txt 2>&1" /dev/null \
  0<>"$work/input" >/dev/null 2>>console.txt ||
  fail "run-tests.cmd failed: $(cat console.txt results.txt 2>/dev/null)"
checks=$(grep -cE '^[a-z]' "$here/../pack/checks.txt")
grep -qx "$checks passed, 0 failed"$'\r' results.txt || fail "results.txt: $(cat results.txt)"
[ -z "$(grep -L '^\[  PASSED  \] [1-9]' logs/*.txt)" ] || fail "a check ran no test: $(cat console.txt)"
[ ! -e tests/work ] || fail "tests\\work was left behind"
echo "test pack ($(kq2_pe_arch bin/supervisor.exe) build): $(tail -n 1 results.txt | tr -d '\r') in $SECONDS s"
