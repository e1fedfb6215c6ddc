#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the project needs: everything to build, run
# and test it, or with "run" only what building and running the program
# (and the demo) takes. Idempotent and non-interactive; used by the README
# commands and by CI.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libx11-dev libxi-dev libxkbcommon-dev
  xvfb xauth xdotool fontconfig
)
if [ "${1:-}" != run ]; then
  packages+=(
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    x11-utils imagemagick attr twm xfonts-base unzip xxd file
    g++-mingw-w64-x86-64 g++-mingw-w64-i686
    wine wine64 fonts-wine
    # Other DBF tools that read the engine's files back; the benchmarks'
    # references (SQLite, libxbase64); clang and its libFuzzer for the readers' fuzz target.
    python3-dbfread python3-dbf libdbd-xbase-perl libsqlite3-dev libxbase64-dev
    clang libclang-rt-14-dev
    # 32-bit programs against libxbase64's i386 build (fetch_xbase32 below).
    g++-multilib
  )
fi
# Wine's 32-bit half runs the i686 Windows build. It needs a kernel that
# runs 32-bit Linux programs, which some virtual machines lack: a 93-byte
# 32-bit program that only exits tells.
runs_32bit() {
  local probe
  probe=$(mktemp)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  local ok=1
  "$probe" 2>/dev/null && ok=0
  rm -f "$probe"
  return $ok
}
if [ "${1:-}" != run ] && [ "$(dpkg --print-architecture)" = amd64 ] && runs_32bit; then
  packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Builds the system font cache once, so that the first window of a fresh
# machine does not spend seconds indexing fonts (a remote computer waiting
# for its acknowledgement would give up meanwhile).
warm_fonts() {
  if command -v fc-cache >/dev/null; then fc-cache -s >/dev/null 2>&1 || true; fi
}

# Debian's libxbase64 in its i386 build, unpacked (not installed) under
# build/xbase32 for the NTX interop test and bench_index: the amd64 build
# reads the files' 4-byte integers into 8-byte longs. Only the i386 package
# lists are needed, not an installable i386 half.
fetch_xbase32() {
  [ "${1:-}" != run ] || return 0
  local dest
  dest="$(cd "$(dirname "$0")/.." && pwd)/build/xbase32"
  [ -e "$dest/usr/lib/i386-linux-gnu/libxbase64.so.1" ] && return 0
  dpkg --print-foreign-architectures | grep -qx i386 || return 0
  local tmp
  tmp=$(mktemp -d)
  chmod 755 "$tmp"
  if (cd "$tmp" && apt-get download -qq libxbase64-1:i386 libxbase64-dev:i386 >/dev/null 2>&1); then
    mkdir -p "$dest"
    for deb in "$tmp"/*.deb; do dpkg-deb -x "$deb" "$dest"; done
  else
    echo "setup: libxbase64's i386 packages could not be fetched; its NTX interop test is skipped"
  fi
  rm -rf "$tmp"
}

if [ ${#missing[@]} -eq 0 ]; then
  warm_fonts
  fetch_xbase32 "${1:-}"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
# A mirror caught in the middle of a sync fails one list now and then
# ("File has unexpected size"): try again, then go on with the lists that
# did arrive; the install below says so if a package is then not to be had.
for try in 1 2 3; do
  $SUDO apt-get update -qq && break
  echo "setup: apt-get update failed (try $try of 3)"
  [ "$try" -lt 3 ] && sleep 10
done
if ! $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  # The i386 half (Wine's 32-bit loader) is the part a mirror out of step
  # breaks; without it the 32-bit Windows tests are built but not run, and
  # the test command says so.
  [[ " ${missing[*]} " == *":i386 "* ]] || exit 1
  native=()
  for p in "${missing[@]}"; do [[ $p == *:i386 ]] || native+=("$p"); done
  echo "setup: the i386 packages could not be installed; going on without them"
  [ ${#native[@]} -eq 0 ] || $SUDO apt-get install -y -qq --no-install-recommends "${native[@]}" >/dev/null
fi
warm_fonts
fetch_xbase32 "${1:-}"
