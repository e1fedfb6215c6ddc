#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Open-ended fuzzing of the table engine's readers, for as long as you
# give it: new random seeds every time, the corpus kept in
# build/fuzz/explore between runs, what fails in build/fuzz/found.
# The test command runs the same target on fixed inputs only
# (tests/dbf/fuzz/README.md).
#   bash scripts/fuzz.sh [seconds, default 600] [processes, default all cores]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
procs=${2:-$(nproc)}
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B build/fuzz "${gen[@]}" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DTALVI_SANITIZE=address -DTALVI_FUZZ=ON -DTALVI_LAYERS="os;errors;dbf" -DTALVI_BENCH=OFF >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target fuzz_dbf fuzz_dbf_seeds
fuzzer=$PWD/build/fuzz/tests/dbf/fuzz_dbf
cd build/fuzz
mkdir -p explore found
if compgen -G "found/*" >/dev/null; then
  echo "build/fuzz/found still holds inputs of an earlier run: see to them (README.md) and empty it."
  exit 1
fi
rm -rf explore-seeds corpus
"$fuzzer"_seeds ../../../shared/fixtures/dbf explore-seeds >/dev/null
tar xf ../../tests/dbf/fuzz/corpus.tar.xz
cp -n explore-seeds/* corpus/* ../../tests/dbf/fuzz/crashes/* explore/
export TALVI_FUZZ_DIR=$PWD/explore-files
"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=65536 \
  -jobs="$procs" -workers="$procs" -artifact_prefix=found/ explore >/dev/null 2>&1 || true
if compgen -G "found/*" >/dev/null; then
  echo "Inputs that failed, in build/fuzz/found (fuzz-*.log say how):"
  ls -l found
  exit 1
fi
rm -rf merged && mkdir merged
"$fuzzer" -merge=1 -max_len=16384 merged explore >/dev/null 2>&1
rm -rf corpus && mv merged corpus
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime=2026-01-01 -cJf corpus.tar.xz corpus
echo "Nothing failed in $seconds s; corpus merged again: build/fuzz/corpus.tar.xz ($(ls corpus | wc -l) inputs)"
