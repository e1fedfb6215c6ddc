#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, checks the layering, builds every configuration and
# runs every test:
#   1. the AddressSanitizer+UndefinedBehaviorSanitizer build, warnings as
#      errors, all tests (window tests offscreen, end-to-end tests on their
#      own Xvfb servers);
#   2. the ThreadSanitizer build of the threaded layers and their tests;
#   3. the table engine's fuzz target (clang), on the inputs that once
#      failed and on a fixed set grown from the fixtures;
#   4. the Windows cross builds (mingw-w64, 32 and 64 bit) and their tests,
#      run under Wine (docs/windows-testing.md).
set -euo pipefail
cd "$(dirname "$0")/.."
begin=$SECONDS
section=$SECONDS
# Prints how long the section that just ended took.
took() { echo "-- $1 in $((SECONDS - section)) s"; section=$SECONDS; }

bash scripts/setup.sh
took "setup"

echo "== Layering, format and licence lines"
bash scripts/check_layers.sh
bash scripts/check_format.sh

jobs=$(nproc)
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)

echo "== ASan+UBSan build, all tests"
cmake -S . -B build/asan "${gen[@]}" -DCMAKE_BUILD_TYPE=Debug -DTALVI_SANITIZE=address -DTALVI_WERROR=ON >/dev/null
cmake --build build/asan -j"$jobs"
took "ASan build"
# Leaks are reported; tests/sanitizers/lsan.supp names the few that system
# libraries keep for the life of the process.
LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp" ASAN_OPTIONS=detect_leaks=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs" --timeout 300
took "ASan tests"

echo "== ThreadSanitizer build, serial and window notification tests"
# The serial layer's tests, and the window layer's pump and cross-thread
# notification tests (PumpTest). The other window tests are left out: Qt is
# not built with ThreadSanitizer, and its own worker threads (font and image
# work in QtGui) then give reports about Qt's memory, not ours; the few
# handoffs through Qt that the pump tests cross are named in
# tests/sanitizers/tsan.supp.
cmake -S . -B build/tsan "${gen[@]}" -DCMAKE_BUILD_TYPE=Debug -DTALVI_SANITIZE=thread -DTALVI_WERROR=ON \
  -DTALVI_LAYERS="os;serial;ui" -DTALVI_BENCH=OFF >/dev/null
cmake --build build/tsan -j"$jobs"
took "TSan build"
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/sanitizers/tsan.supp" ctest --test-dir build/tsan --output-on-failure -j"$jobs" --timeout 300 \
  -E '^(Views/)?(DialogTest|FileDialogTest|MultiGetTest|MultiGetCompactTest|LogViewTest|X11Test)\.'
took "TSan tests"

echo "== Fuzzing the table engine's readers (clang, libFuzzer, ASan+UBSan, the same inputs every run)"
cmake -S . -B build/fuzz "${gen[@]}" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DTALVI_SANITIZE=address -DTALVI_FUZZ=ON -DTALVI_LAYERS="os;errors;dbf" -DTALVI_BENCH=OFF >/dev/null
cmake --build build/fuzz -j"$jobs" --target fuzz_dbf fuzz_dbf_seeds
ctest --test-dir build/fuzz -R '^fuzz_dbf$' --output-on-failure
took "fuzzing"

echo "== Windows cross builds, tests under Wine"
# One private Wine prefix for both builds, made once; no display is needed.
# A wineserver kept running through the section owns the services that Wine
# starts, so that they never hold on to our output. 32-bit programs need a
# kernel that runs 32-bit Linux programs (Wine's 32-bit loader is one);
# where it does not, the i686 tests are built but not run.
export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all DISPLAY=
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
start=$SECONDS
mkdir -p "$WINEPREFIX"  # the server needs the folder; wineboot fills it
/usr/lib/wine/wineserver -p >/dev/null 2>&1 || true  # already running: fine
"$wine64" wineboot -i >/dev/null 2>&1
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
echo "-- Wine prefix ready in $((SECONDS - start)) s"
for arch in i686 x86_64; do
  start=$SECONDS
  cmake -S . -B build/mingw-$arch "${gen[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$arch.cmake \
    -DCMAKE_BUILD_TYPE=Release -DTALVI_WERROR=ON -DTALVI_LAYERS="base;os;serial;fs;errors;dbf;ui;lib;lib/window;app" -DTALVI_TESTS=ON -DTALVI_BENCH=OFF >/dev/null
  cmake --build build/mingw-$arch -j"$jobs"
  echo "-- $arch built in $((SECONDS - start)) s"
  if [ "$arch" = i686 ] && ! "$wine32" build/mingw-i686/tests/errors/test_errors.exe --gtest_list_tests >/dev/null 2>&1; then
    echo "-- i686: this machine cannot run 32-bit programs under Wine; its tests are built, not run"
    continue
  fi
  start=$SECONDS
  ctest --test-dir build/mingw-$arch --output-on-failure -j"$jobs" --timeout 300
  echo "-- $arch tests ran in $((SECONDS - start)) s"
done
took "Windows builds and tests"
echo "== Locks between a Windows program under Wine and a Linux process on one file"
holder=$(find build/mingw-x86_64 -name dbf_lock_holder.exe | head -n 1)
LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp" TALVI_WINE_LOCK_HOLDER="$PWD/$holder" \
  build/asan/tests/dbf/test_dbf_locks --gtest_filter='*Wine*' --gtest_also_run_disabled_tests
took "Wine and Linux locks"

echo "== The Windows program end to end under Wine (private Xvfb and prefix)"
# The 64-bit program here; the 32-bit one runs end to end from its zip below.
WINEPREFIX="$PWD/build/wine-e2e" bash scripts/e2e_wine.sh build/mingw-x86_64/src/app/talvi.exe
took "Windows end to end"

echo "== The Windows zip, unpacked and run under Wine"
TALVI_PACKAGE_DIR=build/mingw-i686 bash scripts/package_zip.sh i686
WINEPREFIX="$PWD/build/wine-e2e" bash scripts/check_zip.sh build/mingw-i686/talvi-*-win32.zip
took "Windows zip"

echo "== The Debian package, installed into a throwaway root, one disk end to end"
bash scripts/check_deb.sh
took "Debian package"

echo "== all configurations built and tested in $((SECONDS - begin)) s"
