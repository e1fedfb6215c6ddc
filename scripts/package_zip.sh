#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Windows download, a zip made by CPack from the mingw-w64 cross
# build (static run-time, nothing else needed on Windows):
#   scripts/package_zip.sh [i686|x86_64]
#     -> build/package-win32/talvi-<version>-win32.zip (i686, the default)
#     -> build/package-win64/talvi-<version>-win64.zip (x86_64)
# It holds talvi.exe, talvi-ports.exe, opd.exe, README-Windows.txt and
# LICENSE.txt (both with Windows line ends). TALVI_PACKAGE_DIR names another
# build folder; one that is configured already (for example the test run's
# build/mingw-i686) is built and packed as it is.
# scripts/check_zip.sh unpacks it and runs it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-i686}
case "$arch" in
  i686) bits=32 ;;
  x86_64) bits=64 ;;
  *) echo "usage: $0 [i686|x86_64]" >&2; exit 64 ;;
esac
dir=${TALVI_PACKAGE_DIR:-build/package-win$bits}
if [ ! -f "$dir/CMakeCache.txt" ]; then
  gen=()
  command -v ninja >/dev/null && gen=(-G Ninja)
  cmake -S . -B "$dir" "${gen[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$arch.cmake \
    -DCMAKE_BUILD_TYPE=Release -DTALVI_WERROR=ON -DTALVI_TESTS=OFF -DTALVI_BENCH=OFF >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" --target talvi talvi-ports opd
rm -f "$dir"/talvi-*-win*.zip
(cd "$dir" && cpack -G ZIP >/dev/null)
zip=$(ls "$dir"/talvi-*-win*.zip)
echo "package_zip: $zip ($(stat -c %s "$zip") bytes)"
