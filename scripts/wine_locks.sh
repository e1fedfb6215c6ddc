#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The lock test between a Windows program under Wine and a Linux process on
# the same file (tests/dbf/shared_file_wine_process_test.cpp): builds the
# Windows lock holder (mingw-w64, 64 bit, layers base and os only) and the
# Linux test program, then runs the Wine cases with TALVI_WINE_LOCK_HOLDER
# naming the holder. Uses a private Wine prefix; no display is needed.
#   scripts/wine_locks.sh [build-folder-prefix]   (default build/wine-locks)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/wine-locks}
wine64=/usr/lib/wine/wine64
if [ ! -x "$wine64" ] || ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  echo "wine_locks: Wine (wine64) or mingw-w64 missing; nothing run"
  exit 0
fi
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
jobs=$(nproc)
start=$SECONDS
cmake -S . -B "$out-win" "${gen[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTALVI_LAYERS="base;os;errors;dbf" -DTALVI_TESTS=ON \
  -DTALVI_BENCH=OFF >/dev/null
cmake --build "$out-win" -j"$jobs" --target dbf_lock_holder
cmake -S . -B "$out-linux" "${gen[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DTALVI_LAYERS="base;os;errors;dbf" -DTALVI_BENCH=OFF >/dev/null
cmake --build "$out-linux" -j"$jobs" --target test_dbf_locks
echo "-- built in $((SECONDS - start)) s"
export WINEPREFIX="$PWD/$out-prefix" WINEDEBUG=-all DISPLAY=
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p >/dev/null 2>&1 || true
"$wine64" wineboot -i >/dev/null 2>&1
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
holder=$(find "$out-win" -name dbf_lock_holder.exe | head -n 1)
TALVI_WINE_LOCK_HOLDER="$PWD/$holder" "$out-linux/tests/dbf/test_dbf_locks" \
  --gtest_filter='*Wine*' --gtest_also_run_disabled_tests
echo "-- Wine lock test done in $((SECONDS - start)) s"
