#!/usr/bin/env bash
# The release: installs what is missing, builds the products alone in a clean tree and writes
# dist/kq2-supervisor-VERSION-win32.zip with its .sha256 beside it. Prints the zip's path, size and
# SHA-256; two clones of the same commit give the same zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
tree=build/release
rm -rf "$tree"
cmake --no-warn-unused-cli -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >/dev/null
cmake --build "$tree" -j "$(nproc)" >/dev/null
bash scripts/check-products.sh "$tree/bin"

zip_path=$(bash scripts/make-zip.sh "$tree" dist)
name=$(basename "$zip_path")
sum=$(sha256sum "$zip_path" | cut -d' ' -f1)
(cd dist && sha256sum "$name" >"$name.sha256")
echo "release: $zip_path"
echo "release: $(stat -c %s "$zip_path") bytes"
echo "release: SHA-256 $sum"
