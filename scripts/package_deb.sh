#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package in a Release build folder of its own:
#   scripts/package_deb.sh        -> build/package/talvi_<version>_<arch>.deb
# TALVI_PACKAGE_DIR names another build folder. The package holds talvi,
# talvi-remote, talvi-ports and opd in /usr/bin, the desktop entry, the icon
# and the documents (cmake/Packaging.cmake); its dependencies are the
# run-time libraries the programs link, as dpkg-shlibdeps finds them.
# scripts/check_deb.sh installs it into a throwaway root and runs a disk.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${TALVI_PACKAGE_DIR:-build/package}
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B "$dir" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DTALVI_WERROR=ON -DTALVI_TESTS=OFF \
  -DTALVI_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/talvi_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/talvi_*.deb)
echo "package_deb: $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb -f "$deb" Package Version Architecture Depends | sed 's/^/package_deb:   /'
