#!/usr/bin/env bash
# Sets up the machine, builds the program and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B build/release "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DTALVI_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
# Until the transfer program is wired up, the serial benchmark stands in:
# bytes through a real pseudo-terminal, watcher, ring and notification.
exec build/release/bench/bench_serial
