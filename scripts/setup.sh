#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent and non-interactive; used by the README commands and by CI.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev libx11-dev libxi-dev libxkbcommon-dev
  xvfb xauth xdotool x11-utils imagemagick
  g++-mingw-w64-x86-64 g++-mingw-w64-i686
  attr twm xfonts-base fontconfig
)

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

if [ ${#missing[@]} -eq 0 ]; then
  warm_fonts
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
warm_fonts
