#!/bin/sh
# SPDX-License-Identifier: MIT
# Renders the program's windows (main window with a log, a question box, a
# wait box with its progress bar, the print-style box) to docs/screenshots/*.png on a private
# Xvfb server. Usage: scripts/screenshots.sh [build folder]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/screenshots}
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target ui_screenshots
out="$root/docs/screenshots"
mkdir -p "$out"
# A display number of Xvfb's own choosing, reported on a pipe.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -f "$fifo"' EXIT
read -r number <"$fifo"
# A small window manager draws the title bars, as users see them.
if command -v twm >/dev/null; then
  twmrc=$(mktemp)
  for f in TitleFont MenuFont IconFont ResizeFont IconManagerFont; do echo "$f \"fixed\""; done >"$twmrc"
  printf 'UsePPosition "on"\nDecorateTransients\nRandomPlacement\nNoGrabServer\n' >>"$twmrc"
  DISPLAY=":$number" twm -f "$twmrc" >/dev/null 2>&1 &
  sleep 0.5
fi
DISPLAY=":$number" QT_QPA_PLATFORM=xcb "$build/tests/ui/ui_screenshots" "$out"
