#!/usr/bin/env bash
# Packs the Windows test pack into OUT_DIR/kq2-supervisor-VERSION-win32-tests.zip: the test programs
# that tests/pack/checks.txt names and the probes they start (from TEST_BUILD_DIR/tests), the
# products they drive (every one in PRODUCTS_DIR that TEST_BUILD_DIR/products.txt lists: the
# release's own, signed when the release is), run-tests.cmd and the tester's page,
# docs/windows-test-pack.md. The test programs find the products in ..\bin, as in the build tree.
# When a key is given (see scripts/sign.sh), the test programs are signed too. Prints the zip's
# path.
# Usage: scripts/make-test-pack.sh TEST_BUILD_DIR PRODUCTS_DIR OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
products=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)

version=$(cat "$build/version.txt")
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}
zip_path=$out/kq2-supervisor-$version-win32-tests.zip
checks=$(grep -v '^#' "$root/tests/pack/checks.txt" | awk 'NF == 2')

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/bin" "$stage/tests"
while read -r exe; do
  cp "$products/$exe" "$stage/bin/"
done <"$build/products.txt"
programs=$(awk '{ print $1 }' <<<"$checks" | sort -u)
for program in $programs; do
  cp "$build/tests/$program.exe" "$stage/tests/"
done
# The probes: every program in the tests folder that is not a test program.
find "$build/tests" -maxdepth 1 -name '*.exe' ! -name 'test_*' ! -name 'console_*' \
  -exec cp {} "$stage/tests/" \;
if [ -n "${SIGN_PKCS12:-}${SIGN_PKCS11_MODULE:-}" ]; then
  bash "$root/scripts/sign.sh" "$stage"/tests/*.exe
fi

calls=$(awk '{ printf "call :check %s %s\\r\\n", $1, $2 }' <<<"$checks")
calls=${calls%\\r\\n}
sed -e 's/\r$//' -e 's/$/\r/' -e "s/@VERSION@/$version/" -e "s/^@CHECKS@\r\$/$calls\r/" \
  "$root/tests/pack/run-tests.cmd.in" >"$stage/run-tests.cmd"
# The tester's page, with Windows line ends.
sed -e 's/\r$//' -e 's/$/\r/' "$root/docs/windows-test-pack.md" >"$stage/windows-test-pack.md"

files=(run-tests.cmd windows-test-pack.md)
while read -r path; do files+=("$path"); done < <(cd "$stage" && find bin tests -type f | LC_ALL=C sort)
chmod 644 "${files[@]/#/$stage/}"
touch -h -d "@$epoch" "${files[@]/#/$stage/}"
rm -f "$zip_path"
(cd "$stage" && TZ=UTC zip -q -X -D -9 "$zip_path" "${files[@]}")
echo "$zip_path"
