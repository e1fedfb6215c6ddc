#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Pictures of the Windows program under Wine, beside the Linux ones:
#   scripts/screenshots_wine.sh [talvi.exe]
# (default build/mingw-x86_64/src/app/talvi.exe). A private Xvfb server and
# Wine prefix (build/wine-shots); the simulated remote on a pseudo-terminal
# mapped as a COM port sends a short disk at a pace that leaves time to see
# it arrive. Written to docs/screenshots/:
#   win32_main_window.png   the transfer window while the disk arrives
#   win32_save_dialog.png   the save dialog once the disk is in
#   win32_question_box.png  the question when the chosen file exists
# There is no window manager: Wine is told to draw the frames and title bars
# itself, as Windows does. The program runs in C:\TALVI of the prefix. Needs ImageMagick's `import` and xdotool; TALVI_REMOTE and
# TALVI_XCLOSE as for scripts/e2e_wine.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ -z "${TALVI_SHOTS_INNER:-}" ]; then
  exe=$(realpath "${1:-build/mingw-x86_64/src/app/talvi.exe}")
  remote=${TALVI_REMOTE:-$root/build/native/tools/remote/talvi-remote}
  xclose=${TALVI_XCLOSE:-$root/build/native/tools/xclose/talvi-xclose}
  if [ ! -x "$remote" ] || [ ! -x "$xclose" ]; then
    gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    cmake -S . -B build/native "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DTALVI_LAYERS=os \
      -DTALVI_TESTS=OFF -DTALVI_BENCH=OFF >/dev/null
    cmake --build build/native -j2 --target talvi-remote talvi-xclose >/dev/null
  fi
  export TALVI_REMOTE=$remote TALVI_XCLOSE=$xclose TALVI_SHOTS_INNER=1
  export WINEPREFIX=${WINEPREFIX:-$root/build/wine-shots} WINEDEBUG=${WINEDEBUG:--all}
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "$exe"
fi

exe=$1
loader=/usr/lib/wine/wine64
file -b "$exe" | grep -q 'PE32 ' && loader=/usr/lib/wine/wine
out=$root/docs/screenshots
mkdir -p "$WINEPREFIX" "$out"
# Wine draws the title bar's buttons with its Marlett font (fonts-wine).
[ -e /usr/share/wine/fonts/marlett.ttf ] ||
  echo "screenshots_wine: note: no Wine fonts (fonts-wine): the title bar buttons show as letters"
/usr/lib/wine/wineserver -p >/dev/null 2>&1 || true
# The services first, so that they do not hold this script's output open.
"$loader" wineboot -i >/dev/null 2>&1
"$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
work=$WINEPREFIX/drive_c/TALVI
rm -rf "$work"
mkdir -p "$work"
cd "$work"

remote_pid= program_pid= com=
cleanup() {
  [ -n "$com" ] && rm -f "$WINEPREFIX/dosdevices/com$com"
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$remote_pid" ] && kill "$remote_pid" 2>/dev/null
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

fail() {
  echo "screenshots_wine: FAIL: $*" >&2
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

# The window $1 as it is on the screen, to docs/screenshots/$2.
shoot() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true  # drawn as the active window
  sleep 1  # painted
  import -window "$1" -strip "$out/$2"
  echo "screenshots_wine: $2 ($(identify -format '%wx%h' "$out/$2"))"
}

# A short disk (30 track sides) at 6000 bytes a second: about 25 s to arrive
# (more on a busy machine).
"$TALVI_REMOTE" --link "$work/pty" --seed 7 --sides 30 --rate 6000 --linger 600000 \
  --connect-timeout 120000 --ack-timeout 120000 >remote.log 2>&1 &
remote_pid=$!
for _ in $(seq 100); do [ -L pty ] && break; sleep 0.1; done
[ -L pty ] || fail "the simulated remote did not start: $(cat remote.log)"
com=41
while [ -e "$WINEPREFIX/dosdevices/com$com" ] || [ -L "$WINEPREFIX/dosdevices/com$com" ]; do
  com=$((com + 1))
done
ln -s "$(readlink pty)" "$WINEPREFIX/dosdevices/com$com"
printf '[Impostazioni]\r\nPorta=COM%s\r\n' "$com" >TALVI.INI
# A file of the name that will be chosen, so that the program asks.
printf 'old' >disk.opd

cp "$exe" talvi.exe
"$loader" talvi.exe >program.log 2>&1 &
program_pid=$!
main=$(window "TALVI 1.01 (COM$com:57600,N,8,1)" 600) || fail "no main window"
sleep 12  # a few track sides in the log
shoot "$main" win32_main_window.png

chooser=$(window "Salva in" 3000) || fail "the save dialog did not open"
xdotool windowactivate --sync "$chooser" 2>/dev/null || xdotool windowfocus --sync "$chooser"
shoot "$chooser" win32_save_dialog.png
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "$(winepath -w "$work/disk")"
xdotool key Return
question=$(window "Attenzione" 300) || fail "no question for the existing file"
shoot "$question" win32_question_box.png
xdotool windowactivate --sync "$question" 2>/dev/null || xdotool windowfocus --sync "$question"
xdotool key Return
for _ in $(seq 300); do [ "$(stat -c %s disk.opd)" -gt 3 ] && break; sleep 0.1; done

# Done: Esc held until the remote has its byte 9, then the close box.
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool keydown Escape
for _ in $(seq 200); do kill -0 "$remote_pid" 2>/dev/null || break; sleep 0.1; done
xdotool keyup Escape
remote_pid=
"$TALVI_XCLOSE" "$main" || true
for _ in $(seq 300); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
program_pid=
echo "screenshots_wine: written to docs/screenshots"
