#!/usr/bin/env bash
# The release: installs what is missing, builds the products alone in a clean tree and writes
# dist/kq2-supervisor-VERSION-win32.zip and the Windows Installer package
# dist/kq2-supervisor-VERSION-win32.msi (the zip's programs), each with its .sha256 beside it, and
# the Windows test pack dist/kq2-supervisor-VERSION-win32-tests.zip from a tree with the tests.
# Prints the zip's and the package's path, size and SHA-256; two clones of the same commit give
# the same unsigned zip (not the same package: it carries a random package code and times).
# With a key (SIGN_PKCS12 or SIGN_PKCS11_MODULE, see scripts/sign.sh) every product and the test
# pack's programs are signed before anything is summed or packed, and dist/ gets each product's
# detached signature, NAME.exe.sig, to check the release against a rebuild; the package is signed too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The key's files as named from the caller's folder, before the release leaves it.
. "$root/scripts/sign.sh" --paths
cd "$root"

bash scripts/setup.sh
tree=build/release
rm -rf "$tree"
cmake --no-warn-unused-cli -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >/dev/null
cmake --build "$tree" -j "$(nproc)" >/dev/null
bash scripts/check-products.sh "$tree/bin"

mkdir -p dist
rm -f dist/*.exe.sig
if [ -n "${SIGN_PKCS12:-}${SIGN_PKCS11_MODULE:-}" ]; then
  # Every product the build made, as products.txt lists them.
  (cd "$tree/bin" && bash "$root/scripts/sign.sh" --signatures "$root/dist" $(cat ../products.txt))
  echo "release: signed $(tr '\n' ' ' <"$tree/products.txt")and the test pack's programs"
fi

zip_path=$(bash scripts/make-zip.sh "$tree" dist)
name=$(basename "$zip_path")
sum=$(sha256sum "$zip_path" | cut -d' ' -f1)
(cd dist && sha256sum "$name" >"$name.sha256")
# The Windows Installer package, from the zip's (signed) programs, signed itself when they are.
msi_path=$(bash scripts/make-msi.sh "$(cat "$tree/version.txt")" "$zip_path" dist)
[ -z "${SIGN_PKCS12:-}${SIGN_PKCS11_MODULE:-}" ] || bash scripts/sign.sh "$msi_path"
msi_sum=$(sha256sum "$msi_path" | cut -d' ' -f1)
(cd dist && sha256sum "$(basename "$msi_path")" >"$(basename "$msi_path").sha256")

# The test pack: the test programs from a tree built with the tests, the products of this release.
tests_tree=build/release-tests
rm -rf "$tests_tree"
cmake --no-warn-unused-cli -S . -B "$tests_tree" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$tests_tree" -j "$(nproc)" >/dev/null
pack_path=$(bash scripts/make-test-pack.sh "$tests_tree" "$tree/bin" dist)

echo "release: $zip_path"
echo "release: $(stat -c %s "$zip_path") bytes"
echo "release: SHA-256 $sum"
echo "release: $msi_path"
echo "release: $(stat -c %s "$msi_path") bytes"
echo "release: SHA-256 $msi_sum"
echo "release: test pack $pack_path, $(stat -c %s "$pack_path") bytes"
# A zip from a machine that cannot run its programs has had them tested on another build only.
. scripts/wine-bits.sh
kq2_choose_wine
[ -z "$KQ2_NOT_RUN" ] || echo "i686 Windows tests: not run ($KQ2_NOT_RUN)"
