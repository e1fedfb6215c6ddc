#!/usr/bin/env bash
# Sets up the machine, builds every configuration and runs every test:
#   1. the AddressSanitizer+UndefinedBehaviorSanitizer build, warnings as
#      errors, all tests (window tests offscreen, end-to-end tests on their
#      own Xvfb servers);
#   2. the ThreadSanitizer build of the threaded layers and their tests;
#   3. the Windows cross builds (mingw-w64, 32 and 64 bit).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)

echo "== ASan+UBSan build, all tests"
cmake -S . -B build/asan "${gen[@]}" -DCMAKE_BUILD_TYPE=Debug -DTALVI_SANITIZE=address -DTALVI_WERROR=ON >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build/asan --output-on-failure -j"$jobs" --timeout 300

echo "== ThreadSanitizer build, serial and window notification tests"
cmake -S . -B build/tsan "${gen[@]}" -DCMAKE_BUILD_TYPE=Debug -DTALVI_SANITIZE=thread -DTALVI_WERROR=ON \
  -DTALVI_LAYERS="serial" -DTALVI_BENCH=OFF >/dev/null
cmake --build build/tsan -j"$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -j"$jobs" --timeout 300

echo "== Windows cross builds"
for arch in i686 x86_64; do
  cmake -S . -B build/mingw-$arch "${gen[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$arch.cmake \
    -DCMAKE_BUILD_TYPE=Release -DTALVI_WERROR=ON -DTALVI_LAYERS="os;serial;fs;errors;lib" -DTALVI_TESTS=OFF -DTALVI_BENCH=OFF >/dev/null
  cmake --build build/mingw-$arch -j"$jobs"
done
echo "== all configurations built and tested"
