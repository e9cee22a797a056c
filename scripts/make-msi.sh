#!/usr/bin/env bash
# Builds the Windows Installer package OUT_DIR/kq2-supervisor-VERSION-win32.msi from the release
# zip's own programs and texts, so that both carry the same bytes. Prints the package's path.
# The product code is derived from the version (a name-based UUID in the UpgradeCode's namespace):
# two builds of one version are one product, never two entries side by side.
# Usage: scripts/make-msi.sh VERSION ZIP OUT_DIR [WXS]
# WXS, release/kq2-supervisor.wxs unless given: the tests build an earlier version's layout from it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$1
zip=$(realpath "$2")
mkdir -p "$3"
out=$(cd "$3" && pwd)/kq2-supervisor-$version-win32.msi
wxs=$(realpath "${4:-$root/release/kq2-supervisor.wxs}")

upgrade_code=$(xmllint --xpath 'string(//*[local-name()="Product"]/@UpgradeCode)' "$wxs")
# UUID version 5: SHA-1 of the namespace's 16 bytes and the name, version and variant bits set.
hex=$({ printf '%b' "$(tr -d '-' <<<"$upgrade_code" | sed 's/../\\x&/g')"; printf '%s' "$version"; } |
  sha1sum | cut -c1-32)
hex=${hex:0:12}5${hex:13:3}$(printf %x $((0x${hex:16:1} & 3 | 8)))${hex:17:15}
product_code=$(sed -E 's/(.{8})(.{4})(.{4})(.{4})(.{12})/\1-\2-\3-\4-\5/' <<<"${hex^^}")

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
(cd "$stage" && unzip -q "$zip" supervisor.exe fkill.exe kq2stat.exe README.txt LICENSE.txt &&
  wixl -a x86 -D Version="$version" -D ProductCode="$product_code" -o "$out" "$wxs")
# wixl leaves the File table's versions empty, and an unversioned file never replaces a versioned
# one: a supervisor.exe unpacked from an older zip would stay. The programs' version resources
# hold VERSION.0 (platform/win32/version.rc.in); versioned files carry no hash.
queries=()
programs=$(xmllint --xpath '//*[local-name()="File"][contains(@Source, ".exe")]/@Id' "$wxs" |
  sed -E 's/ *Id="([^"]*)"/\1\n/g')
for id in $programs; do
  queries+=(-q "UPDATE File SET Version='$version.0', Language='1033' WHERE File='$id'"
    -q "DELETE FROM MsiFileHash WHERE File_='$id'")
done
# 1.2 put kq2stat.exe into the worker's folder, and monitoring ran it as SYSTEM from a folder that the
# supervisor's account may write: it goes at install (wixl refuses <RemoveFile>), so that such a
# check fails aloud until it names the copy under Program Files. Wine's upgrade left 1.2's own too.
if xmllint --xpath '//*[@Id="PROGRAMDIR"]' "$wxs" >/dev/null 2>&1; then
  queries+=(-q "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`FileName\`, \`DirProperty\`, \`InstallMode\`) VALUES ('WorkerKq2stat', 'Registration', 'kq2stat.exe', 'WORKERDIR', 1)")
fi
msibuild "$out" "${queries[@]}"
echo "$out"
