#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the transfer program and runs it against the simulated remote
# computer on a virtual serial line: talvi-remote creates a pseudo-terminal
# pair, build/demo/COM links to its slave side, build/demo/TALVI.INI points
# the program there. The remote sends one disk; the save dialog opens.
#
# With a display you play the user: pick a name in the save dialog, hold
# Esc to end the session, close the window. Without one (DISPLAY unset) the
# demo runs under xvfb-run with a scripted user (xdotool) and prints what
# happened.
#
# TALVI_DEMO_RATE: bytes per second, "line" (5760, the real 57600 8N1 pace:
# a full disk takes 128 s) or "max" (default). TALVI_DEMO_SIDES: track sides
# (default 160, a whole disk).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=$root/build/release

if [ -z "${TALVI_DEMO_INNER:-}" ]; then
  bash scripts/setup.sh run
  gen=()
  command -v ninja >/dev/null && gen=(-G Ninja)
  cmake -S . -B build/release "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DTALVI_TESTS=OFF >/dev/null
  cmake --build build/release -j"$(nproc)" --target talvi talvi-remote talvi-xclose
  if [ -z "${DISPLAY:-}" ]; then
    echo "demo: DISPLAY is not set: running under xvfb-run -a with a scripted user (xdotool)"
    TALVI_DEMO_INNER=scripted exec xvfb-run -a bash "$0"
  fi
  TALVI_DEMO_INNER=interactive exec bash "$0"
fi

work=$root/build/demo
mkdir -p "$work"
cd "$work"
rm -f COM remote.log
remote_pid=
cleanup() {
  if [ -n "$remote_pid" ] && kill -0 "$remote_pid" 2>/dev/null; then
    kill "$remote_pid"
    wait "$remote_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

"$bin/tools/remote/talvi-remote" --link "$work/COM" --sides "${TALVI_DEMO_SIDES:-160}" \
  --rate "${TALVI_DEMO_RATE:-max}" --linger 3600000 --connect-timeout 60000 --ack-timeout 600000 >remote.log 2>&1 &
remote_pid=$!
for _ in $(seq 100); do [ -L COM ] && break; sleep 0.1; done
[ -L COM ] || { cat remote.log; echo "demo: the simulated remote did not start" >&2; exit 1; }
printf '[Impostazioni]\r\nPorta=%s\r\n' "$work/COM" >TALVI.INI
echo "demo: simulated remote on $(readlink COM), linked as $work/COM"
echo "demo: starting talvi in $work (settings: $work/TALVI.INI)"

# Waits up to $2 tenths of a second for a window titled exactly $1; prints its id.
window() {
  for _ in $(seq "$2"); do
    # Searched by the first word (the title itself would be read as a pattern).
    for id in $(xdotool search --name "^${1%% *}" 2>/dev/null); do
      [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

if [ "$TALVI_DEMO_INNER" = interactive ]; then
  echo "demo: save the disk when asked, hold Esc to end the session, then close the window"
  "$bin/src/app/talvi"
else
  QT_QPA_PLATFORM=xcb "$bin/src/app/talvi" &
  program=$!
  title="TALVI 1.01 ($work/COM:57600,N,8,1)"
  main=$(window "$title" 300) || { echo "demo: no window titled $title" >&2; exit 1; }
  echo "demo: window up: $title"
  chooser=$(window "Salva in" 3000) || { echo "demo: the save dialog did not open" >&2; exit 1; }
  echo "demo: a disk has arrived; the save dialog is open; typing $work/disk"
  rm -f disk.opd
  xdotool windowfocus --sync "$chooser"
  xdotool type --delay 5 "$work/disk"
  xdotool key Return
  for _ in $(seq 100); do [ -s disk.opd ] && break; sleep 0.1; done
  echo "demo: saved $(stat -c %s disk.opd) bytes to $work/disk.opd"
  echo "demo: holding Esc to end the session"
  xdotool keydown Escape
  sleep 1
  xdotool keyup Escape
  echo "demo: closing the window"
  "$bin/tools/xclose/talvi-xclose" "$main"
  wait "$program"
  echo "demo: talvi ended with status $?"
fi
sleep 0.3
cleanup
remote_pid=
cat remote.log
