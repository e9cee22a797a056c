#!/usr/bin/env bash
# Packs the Windows build in BUILD_DIR (products in BUILD_DIR/bin, version in BUILD_DIR/version.txt)
# into OUT_DIR/kq2-supervisor-VERSION-win32.zip, byte for byte the same for the same sources:
# entries in a fixed order, every time set from SOURCE_DATE_EPOCH (else the last commit's time),
# fixed permissions and no extra fields. Prints the zip's path.
# Usage: scripts/make-zip.sh BUILD_DIR OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)

version=$(cat "$build/version.txt")
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)}
if [ -z "$epoch" ]; then
  echo "make-zip: no SOURCE_DATE_EPOCH and no git history to take the time from" >&2
  exit 1
fi
zip_path=$out/kq2-supervisor-$version-win32.zip

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/demo"
cp "$build/bin/supervisor.exe" "$build/bin/fkill.exe" "$build/bin/kq2stat.exe" "$stage/"
cp "$build/bin/kq2.exe" "$stage/demo/"
# Plain texts for Windows: CR LF line ends.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$1"; }
crlf "$root/release/README.txt" | sed "s/@VERSION@/$version/g" >"$stage/README.txt"
crlf "$root/LICENSE" >"$stage/LICENSE.txt"
crlf "$root/CHANGELOG.md" >"$stage/CHANGELOG.txt"
crlf "$root/release/demo-README.txt" >"$stage/demo/README.txt"

files=(supervisor.exe fkill.exe kq2stat.exe README.txt LICENSE.txt CHANGELOG.txt demo/kq2.exe demo/README.txt)
# The Task Scheduler template: byte for byte (UTF-16LE, as Task Scheduler exports), no conversion.
cp "$root/release/kq2-supervisor-task.xml" "$stage/"
files+=(kq2-supervisor-task.xml)
# The monitoring definitions byte for byte, LF line ends kept: the engines read them on their own
# servers, most often Linux.
mkdir "$stage/monitoring"
for name in kq2.rules.yml kq2.rules.test.yml kq2-icinga2.conf kq2-nagios.cfg; do
  cp "$root/monitoring/$name" "$stage/monitoring/"
  files+=("monitoring/$name")
done
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS.txt)
files+=(SHA256SUMS.txt)

chmod 644 "${files[@]/#/$stage/}"
touch -h -d "@$epoch" "${files[@]/#/$stage/}"
rm -f "$zip_path"
# -X: no owner or extended-time fields; -D: no folder entries. Zip times are local: use UTC.
(cd "$stage" && TZ=UTC zip -q -X -D -9 "$zip_path" "${files[@]}")
echo "$zip_path"
