#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian package into a throwaway root and runs one disk
# through the installed programs:
#   scripts/check_deb.sh [talvi_<version>_<arch>.deb]
# Without an argument the package is built first (scripts/package_deb.sh).
#
# 1. The package holds the programs, the desktop entry, the icon and the
#    documents, and depends only on run-time packages that this machine has.
# 2. dpkg installs it into an empty root of its own (dpkg --root: no
#    container, nothing of the machine's own packages touched).
# 3. Under a private Xvfb, the installed talvi-remote sends a disk over a
#    pseudo-terminal, the installed talvi receives it, its save dialog is
#    answered (xdotool), the file is checked with the installed opd, Esc is
#    held until the remote has byte 9, the window is closed through its
#    close box and talvi must end with 0. The installed talvi-ports then
#    names the remote's port, now gone, as missing.
# Prints how long it took. TALVI_XCLOSE names the close-box helper (default:
# the package build's, else build/native's, built on demand);
# TALVI_CHECK_SIDES the track sides sent (default 160, a whole disk).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

fail() {
  echo "check_deb: FAIL: $*" >&2
  exit 1
}

if [ -z "${TALVI_CHECK_INNER:-}" ]; then
  begin=$SECONDS
  deb=${1:-}
  if [ -z "$deb" ]; then
    bash scripts/package_deb.sh
    deb=$(ls build/package/talvi_*.deb)
  fi
  [ -f "$deb" ] || fail "no package $deb"
  deb=$(realpath "$deb")
  xclose=${TALVI_XCLOSE:-$repo/build/package/tools/xclose/talvi-xclose}
  if [ ! -x "$xclose" ]; then
    xclose=$repo/build/native/tools/xclose/talvi-xclose
    if [ ! -x "$xclose" ]; then
      gen=()
      command -v ninja >/dev/null && gen=(-G Ninja)
      cmake -S . -B build/native "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DTALVI_LAYERS=os \
        -DTALVI_TESTS=OFF -DTALVI_BENCH=OFF >/dev/null
      cmake --build build/native -j2 --target talvi-xclose >/dev/null
    fi
  fi

  echo "== check_deb: $(basename "$deb")"
  contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
  for path in usr/bin/talvi usr/bin/talvi-remote usr/bin/talvi-ports usr/bin/opd \
    usr/share/applications/talvi.desktop usr/share/icons/hicolor/scalable/apps/talvi.svg \
    usr/share/doc/talvi/README.md usr/share/doc/talvi/LICENSE usr/share/doc/talvi/copyright; do
    grep -qx "\./$path" <<<"$contents" || fail "the package lacks /$path"
  done
  # Nothing of the build tree or of the headers.
  if grep -Eq '/include/|\.a$|\.cmake$' <<<"$contents"; then
    fail "the package holds build files: $(grep -E '/include/|\.a$|\.cmake$' <<<"$contents" | head -3)"
  fi
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "check_deb: Depends: $depends"
  grep -q 'libqt6widgets6' <<<"$depends" || fail "no dependency on the Qt widgets run-time"
  # Every dependency (one of its alternatives) is a package this machine
  # has installed, in a version that satisfies it.
  IFS=',' read -ra deps <<<"$depends"
  for dep in "${deps[@]}"; do
    ok=
    IFS='|' read -ra alternatives <<<"$dep"
    for alt in "${alternatives[@]}"; do
      alt=$(xargs <<<"$alt")
      name=${alt%% *}
      if grep -Eq -- '-dev$|^cmake|^g\+\+|^gcc(-[0-9]+)?$|^qt6-base-dev' <<<"$name"; then
        fail "a build-time package among the dependencies: $name"
      fi
      version=$(sed -n 's/.*(\(.*\)).*/\1/p' <<<"$alt")
      have=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null || true)
      [ -n "$have" ] || continue
      if [ -n "$version" ]; then
        dpkg --compare-versions "$have" "${version%% *}" "${version#* }" || continue
      fi
      ok=1
      break
    done
    [ -n "$ok" ] || fail "dependency not satisfied on this machine: $dep"
  done
  desktop=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/applications/talvi.desktop)
  grep -qx 'Exec=talvi' <<<"$desktop" || fail "the desktop entry does not start talvi"
  grep -qx 'Icon=talvi' <<<"$desktop" || fail "the desktop entry names no icon"
  if command -v desktop-file-validate >/dev/null; then
    entry=$(mktemp --suffix=.desktop)
    printf '%s\n' "$desktop" >"$entry"
    desktop-file-validate "$entry" || fail "the desktop entry does not validate"
    rm -f "$entry"
  fi

  # The throwaway root: an empty dpkg database, nothing else.
  target=$(mktemp -d /tmp/talvi-deb-root.XXXXXX)
  trap 'rm -rf "$target"' EXIT
  mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates" "$target/var/lib/dpkg/triggers"
  touch "$target/var/lib/dpkg/status" "$target/var/lib/dpkg/available"
  # The root has none of the run-time libraries; they were checked against
  # this machine above and come from it when the programs run.
  dpkg --root="$target" --force-depends --force-not-root -i "$deb" >"$target/dpkg.log" 2>&1 ||
    fail "dpkg could not install it: $(cat "$target/dpkg.log")"
  status=$(dpkg --root="$target" -s talvi | sed -n 's/^Status: //p')
  [ "$status" = "install ok installed" ] || fail "dpkg says: $status"
  echo "check_deb: installed into $target ($(dpkg --root="$target" -L talvi | grep -c .) paths)"
  for program in talvi talvi-remote talvi-ports opd; do
    if ldd "$target/usr/bin/$program" | grep -q 'not found'; then
      fail "/usr/bin/$program: $(ldd "$target/usr/bin/$program" | grep 'not found')"
    fi
    if strings "$target/usr/bin/$program" | grep -q "$repo/build"; then
      fail "/usr/bin/$program refers to the build folder"
    fi
  done

  export TALVI_CHECK_INNER=1 TALVI_ROOT=$target TALVI_XCLOSE=$xclose
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" || exit 1
  echo "check_deb: passed in $((SECONDS - begin)) s"
  exit 0
fi

# Under the private Xvfb: one disk through the installed programs.
bin=$TALVI_ROOT/usr/bin
sides=${TALVI_CHECK_SIDES:-160}
work=$(mktemp -d /tmp/talvi-deb-run.XXXXXX)
cd "$work"
remote_pid=
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$remote_pid" ] && kill "$remote_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

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

head -c $((sides * 4608)) /dev/urandom >sent.img
"$bin/talvi-remote" --link "$work/COM" --image sent.img --sides "$sides" --rate max \
  --linger 600000 --connect-timeout 120000 --ack-timeout 120000 >remote.log 2>&1 &
remote_pid=$!
for _ in $(seq 100); do [ -L COM ] && break; sleep 0.1; done
[ -L COM ] || fail "the installed talvi-remote did not start: $(cat remote.log)"
printf '[Impostazioni]\r\nPorta=%s\r\n' "$work/COM" >TALVI.INI
echo "check_deb: $bin/talvi-remote on $(readlink COM); starting $bin/talvi"

QT_QPA_PLATFORM=xcb "$bin/talvi" >program.log 2>&1 &
program_pid=$!
title="TALVI 1.01 ($work/COM:57600,N,8,1)"
main=$(window "$title" 300) || fail "no window titled $title: $(cat program.log)"
chooser=$(window "Salva in" 3000) || fail "the save dialog did not open"
xdotool windowfocus --sync "$chooser"
xdotool type --delay 5 "$work/disk"
xdotool key Return
for _ in $(seq 100); do [ -s disk.opd ] && break; sleep 0.1; done
[ -s disk.opd ] || fail "no disk.opd was written"
sleep 0.3
# What the file must hold: the fixed block, then the bytes sent after their
# first 128.
sed -n 's/^ *"\([0-9a-f]\{32\}\)"[;]*$/\1/p' "$repo/src/app/image_file.h" | tr -d '\n' |
  xxd -r -p >expected.opd
[ "$(stat -c %s expected.opd)" -eq 128 ] || fail "could not read the fixed block"
tail -c +129 sent.img >>expected.opd
"$bin/opd" diff expected.opd disk.opd >opd.log || fail "disk.opd differs from the disk sent: $(cat opd.log)"
"$bin/opd" info disk.opd | sed 's/^/check_deb: opd: /'

xdotool windowfocus --sync "$main"
xdotool keydown Escape
status=
for _ in $(seq 200); do
  if ! kill -0 "$remote_pid" 2>/dev/null; then
    wait "$remote_pid" && status=0 || status=$?
    break
  fi
  sleep 0.1
done
xdotool keyup Escape
[ "$status" = 2 ] || fail "the remote did not receive byte 9 (status ${status:-running}): $(cat remote.log)"
remote_pid=
echo "check_deb: Esc held: $(tail -1 remote.log)"
sleep 0.3
kill -0 "$program_pid" 2>/dev/null || fail "the window closed on Esc"
"$TALVI_XCLOSE" "$main" || fail "could not send the close request"
code=
for _ in $(seq 100); do
  if ! kill -0 "$program_pid" 2>/dev/null; then
    wait "$program_pid" && code=0 || code=$?
    break
  fi
  sleep 0.1
done
[ "$code" = 0 ] || fail "talvi ended with ${code:-nothing (still running)}: $(cat program.log)"
program_pid=
echo "check_deb: closed by its close box, exit code 0"

# The remote has gone and taken its pseudo-terminal along: the link is left
# dangling or removed, and the installed talvi-ports says the port is missing.
code=0
"$bin/talvi-ports" "$work/COM" >ports.log || code=$?
[ "$code" = 1 ] || fail "talvi-ports on the gone port ended with $code: $(cat ports.log)"
echo "check_deb: talvi-ports: $(sed -n 2p ports.log)"
