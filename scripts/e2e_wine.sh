#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end run of the Windows program under Wine, with a private Xvfb
# server and a private Wine prefix:
#   scripts/e2e_wine.sh [--in-place] build/mingw-x86_64/src/app/talvi.exe [build/mingw-i686/src/app/talvi.exe]
# For each program: the simulated remote (talvi-remote, a Linux program) on
# a pseudo-terminal mapped as a COM port of the prefix (dosdevices/comN),
# TALVI.INI naming that port; the remote sends one disk; the save dialog is
# answered with xdotool; the saved file is compared byte for byte with what
# was sent (its first 128 bytes with the fixed block); Esc is held until the
# remote has received byte 9; the window is closed through its close box
# (the close request a window manager sends); the program must end with 0.
# A 32-bit program is skipped, with a note, where the machine cannot run
# 32-bit programs.
#
# With --in-place each program runs in its own folder (TALVI.INI, the disk
# and the run's files are written there), as a user runs it from the folder
# a download was unpacked to; otherwise it is copied to a folder of its own
# under build/e2e-wine.
#
# TALVI_REMOTE and TALVI_XCLOSE name the Linux helpers (default
# build/native/tools/..., built on demand); TALVI_E2E_SIDES the track sides
# sent (default 160, a whole disk); WINEPREFIX the prefix (default
# build/wine-e2e, made on first use).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "${1:-}" = --in-place ]; then
  export TALVI_E2E_IN_PLACE=1
  shift
fi
if [ "$#" -eq 0 ]; then
  echo "usage: $0 [--in-place] talvi.exe [talvi.exe ...]" >&2
  exit 64
fi

if [ -z "${TALVI_E2E_INNER:-}" ]; then
  remote=${TALVI_REMOTE:-$root/build/native/tools/remote/talvi-remote}
  xclose=${TALVI_XCLOSE:-$root/build/native/tools/xclose/talvi-xclose}
  if [ ! -x "$remote" ] || [ ! -x "$xclose" ]; then
    gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    cmake -S . -B build/native "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DTALVI_LAYERS=os \
      -DTALVI_TESTS=OFF -DTALVI_BENCH=OFF >/dev/null
    cmake --build build/native -j2 --target talvi-remote talvi-xclose >/dev/null
  fi
  programs=()
  for exe in "$@"; do programs+=("$(realpath "$exe")"); done
  export TALVI_REMOTE=$remote TALVI_XCLOSE=$xclose TALVI_E2E_INNER=1
  export WINEPREFIX=${WINEPREFIX:-$root/build/wine-e2e} WINEDEBUG=${WINEDEBUG:--all}
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "${programs[@]}"
fi

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
sides=${TALVI_E2E_SIDES:-160}
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p >/dev/null 2>&1 || true
# The services first, so that they do not hold this script's output open.
"$wine64" wineboot -i >/dev/null 2>&1
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT

fail() {
  echo "e2e_wine: FAIL: $*" >&2
  exit 1
}

# Waits up to $2 tenths of a second for a window titled exactly $1; prints its id.
window() {
  local id
  for _ in $(seq "$2"); do
    for id in $(xdotool search --name "^${1%% *}" 2>/dev/null); do
      [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

# The first COM number from 41 that the prefix does not map.
free_com() {
  local n=41
  while [ -e "$WINEPREFIX/dosdevices/com$n" ] || [ -L "$WINEPREFIX/dosdevices/com$n" ]; do
    n=$((n + 1))
  done
  echo "$n"
}

run_one() {
  local exe=$1 loader=$wine64 name
  if file -b "$exe" | grep -q 'PE32 '; then
    loader=$wine32
    name=i686
    if ! "$loader" cmd /c exit >/dev/null 2>&1; then
      echo "e2e_wine: $exe: this machine cannot run 32-bit programs; not run"
      return 0
    fi
  else
    name=x86_64
  fi
  local work=$root/build/e2e-wine/$name
  if [ -n "${TALVI_E2E_IN_PLACE:-}" ]; then
    work=$(dirname "$exe")
    [ "$(basename "$exe")" = talvi.exe ] || fail "$exe: run in place, the program must be named talvi.exe"
    cd "$work"
    rm -f pty disk.opd
  else
    rm -rf "$work"
    mkdir -p "$work"
    cd "$work"
    cp "$exe" talvi.exe
  fi
  # The disk: random bytes, zero and every other value included.
  head -c $((sides * 4608)) /dev/urandom >sent.img
  "$TALVI_REMOTE" --link "$work/pty" --image sent.img --sides "$sides" --rate max \
    --linger 600000 --connect-timeout 120000 --ack-timeout 120000 >remote.log 2>&1 &
  local remote_pid=$! program_pid= com
  for _ in $(seq 100); do [ -L pty ] && break; sleep 0.1; done
  [ -L pty ] || fail "$name: the simulated remote did not start: $(cat remote.log)"
  com=$(free_com)
  ln -s "$(readlink pty)" "$WINEPREFIX/dosdevices/com$com"
  cleanup_one() {
    rm -f "$WINEPREFIX/dosdevices/com$com"
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    kill "$remote_pid" 2>/dev/null || true
  }
  trap 'cleanup_one; /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
  printf '[Impostazioni]\r\nPorta=COM%s\r\n' "$com" >TALVI.INI
  echo "e2e_wine: $name: remote on $(readlink pty), mapped as COM$com; starting talvi.exe"

  "$loader" talvi.exe >program.log 2>&1 &
  program_pid=$!
  local title="TALVI 1.01 (COM$com:57600,N,8,1)" main chooser
  main=$(window "$title" 600) || fail "$name: no window titled $title"
  chooser=$(window "Salva in" 3000) || fail "$name: the save dialog did not open"
  echo "e2e_wine: $name: disk received, save dialog open"
  local target
  target=$(winepath -w "$work/disk")
  xdotool windowactivate --sync "$chooser" 2>/dev/null || xdotool windowfocus --sync "$chooser"
  sleep 0.5
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 20 "$target"
  xdotool key Return
  for _ in $(seq 300); do [ -s disk.opd ] && break; sleep 0.1; done
  [ -s disk.opd ] || fail "$name: no disk.opd was written"
  sleep 0.5
  # What the file must hold: the fixed block, then the bytes sent after
  # their first 128.
  sed -n 's/^ *"\([0-9a-f]\{32\}\)"[;]*$/\1/p' "$root/src/app/image_file.h" | tr -d '\n' |
    xxd -r -p >expected.opd
  [ "$(stat -c %s expected.opd)" -eq 128 ] || fail "could not read the fixed block"
  tail -c +129 sent.img >>expected.opd
  cmp disk.opd expected.opd || fail "$name: disk.opd differs from the disk sent"
  echo "e2e_wine: $name: disk.opd ($(stat -c %s disk.opd) bytes) matches what was sent"

  # Esc held in the program's window until the remote has its byte 9.
  xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
  xdotool keydown Escape
  local status=
  for _ in $(seq 200); do
    if ! kill -0 "$remote_pid" 2>/dev/null; then
      wait "$remote_pid" && status=0 || status=$?
      break
    fi
    sleep 0.1
  done
  xdotool keyup Escape
  [ "$status" = 2 ] || fail "$name: the remote did not receive byte 9 (status ${status:-running}): $(cat remote.log)"
  echo "e2e_wine: $name: Esc held: the remote got byte 9 ($(cat remote.log))"
  sleep 0.5
  kill -0 "$program_pid" 2>/dev/null || fail "$name: the window closed on Esc"

  "$TALVI_XCLOSE" "$main" || fail "$name: could not send the close request"
  local code=
  for _ in $(seq 300); do
    if ! kill -0 "$program_pid" 2>/dev/null; then
      wait "$program_pid" && code=0 || code=$?
      break
    fi
    sleep 0.1
  done
  [ "$code" = 0 ] || fail "$name: talvi.exe ended with ${code:-nothing (still running)}"
  program_pid=
  echo "e2e_wine: $name: closed by its close box, exit code 0"
  cleanup_one
  trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
  cd "$root"
}

for exe in "$@"; do run_one "$exe"; done
echo "e2e_wine: passed"
