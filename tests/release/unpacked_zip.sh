#!/usr/bin/env bash
# The release zip as a user meets it: unpacked into an empty folder, its checksums hold, its texts
# have Windows line ends, and with the demo worker put beside supervisor.exe the supervisor runs
# under Wine and reports the worker it launched. With "bytes", the zip's contents alone are checked:
# on a machine that cannot run its 32-bit programs, the run is made on a zip of the x86_64 build.
# Usage: unpacked_zip.sh ZIP WORK_DIR [bytes]
set -u
here=$(cd "$(dirname "$0")" && pwd)
zip=$(realpath "$1")
work=$2
export WINEDEBUG=-all
. "$here/../../scripts/wine-bits.sh"
kq2_choose_wine || exit 1
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
fail() {
  echo "unpacked zip: $*"
  exit 1
}

unzip -q "$zip" || fail "cannot unpack $zip"
expected="CHANGELOG.txt LICENSE.txt README.txt SHA256SUMS.txt demo/README.txt demo/kq2.exe fkill.exe \
kq2-supervisor-task.xml kq2stat.exe monitoring/kq2-icinga2.conf monitoring/kq2-nagios.cfg \
monitoring/kq2.rules.test.yml monitoring/kq2.rules.yml supervisor.exe "
[ "$(find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')" = "$expected" ] ||
  fail "unexpected contents: $(find . -type f | tr '\n' ' ')"
sha256sum --quiet -c SHA256SUMS.txt || fail "SHA256SUMS.txt does not match the files"
for text in README.txt LICENSE.txt CHANGELOG.txt demo/README.txt; do
  [ "$(grep -c $'\r$' "$text")" = "$(wc -l <"$text")" ] || fail "$text has lines without CR LF"
done
# The monitoring definitions are the repository's, unconverted.
for text in monitoring/*; do
  cmp -s "$text" "$here/../../$text" && ! grep -q $'\r' "$text" || fail "$text is not the repository's, with LF line ends"
done

if [ "${3:-}" = bytes ]; then
  echo "unpacked zip: checksums and texts hold; its programs were not run ($KQ2_NOT_RUN)"
  exit 0
fi
cp demo/kq2.exe .
kq2_check_bits supervisor.exe kq2.exe fkill.exe kq2stat.exe || fail "programs of other bits"
# No terminal: the supervisor runs detached for a few seconds, then the worker is ended too.
timeout 6 "$KQ2_WINE" supervisor.exe /record </dev/null >output.txt 2>&1
. "$here/../../scripts/wine-pids.sh"
kill $(wine_pids kq2.exe "$PWD") 2>/dev/null
worker=$(cut -d' ' -f1 kq2_starts.txt 2>/dev/null)
[ -n "$worker" ] || fail "the worker was not started"
grep -q "restarts 1 , PID $worker " log_kq.txt ||
  fail "log_kq.txt does not show the worker $worker: $(cat log_kq.txt 2>/dev/null)"
kq2_wine kq2stat.exe --version </dev/null | grep -q '^kq2stat [0-9]' || fail "kq2stat.exe does not run"
echo "unpacked zip ($(kq2_pe_arch supervisor.exe) build): checksums hold; the supervisor ran and shows: $(tr -d '\r\n' <log_kq.txt)"
