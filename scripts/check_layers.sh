#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the layering of src/: which layer may include which, Qt only in
# src/ui/qt, <windows.h> only in the Windows files, and no platform #if
# outside the split files (*_posix.cpp, *_win32.cpp, src/ui/qt, src/ui/win32).
# Prints every breach and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# The layers each layer may include, besides itself and base (the
# header-only helpers under every layer). lib/window, the part of the
# utility library that needs windows, is a layer of its own above lib, so
# that the pure families of lib stay free of the window layer.
declare -A allowed=(
  [base]=""
  [os]=""
  [serial]="os"
  [fs]="os"
  [errors]="os"
  [dbf]="os errors"
  [ui]="os serial"
  [lib]="os"
  [lib/window]="os fs errors ui dbf lib"
  [server]="os fs errors ui dbf lib lib/window"
  [app]="os serial fs errors ui lib lib/window dbf"
)
# Folders that are layers of their own inside another layer's folder.
nested="lib/window"

bad=0
breach() { echo "layering: $*"; bad=1; }

# Prints file:line:layer for each project include under a folder (the
# nested layers left out of their parent), the layer being the first one
# or two folders of the included path.
includes() {
  local dir=$1 skip=()
  for n in $nested; do
    [ "src/$n" != "${dir%/}" ] && [[ "src/$n" == "${dir%/}"/* ]] && skip+=(--exclude-dir="${n#*/}")
  done
  grep -rnoE "${skip[@]}" '^#include "[a-z0-9_]+/([a-z0-9_]+/)?' "$dir" |
    sed -E 's|#include "([a-z0-9_]+)/([a-z0-9_]+/)?$|\1/\2|; s|/$||' |
    while IFS=: read -r file line used; do
      case " $nested " in
        *" $used "*) ;;
        *) used=${used%%/*} ;;
      esac
      echo "$file:$line:$used"
    done
}

dirs=(src/*/)
for n in $nested; do dirs+=("src/$n/"); done
for dir in "${dirs[@]}"; do
  layer=${dir#src/}
  layer=${layer%/}
  if [ -z "${allowed[$layer]+set}" ]; then
    breach "src/$layer is not a known layer (add it to scripts/check_layers.sh)"
    continue
  fi
  while IFS=: read -r file _ used; do
    [ "$used" = "$layer" ] || [ "$used" = base ] && continue
    case " ${allowed[$layer]} " in
      *" $used "*) ;;
      *) breach "$file includes the $used layer, which $layer may not use" ;;
    esac
  done < <(includes "$dir")
done

while IFS= read -r hit; do
  breach "Qt outside src/ui/qt: $hit"
done < <(grep -rnE '^#include <Q[A-Za-z]' src | grep -v '^src/ui/qt/' || true)

while IFS= read -r hit; do
  breach "window headers outside the Windows files: $hit"
done < <(grep -rniE '^#include <(windows|winbase|winuser|commdlg|commctrl|winsock2?)\.h>' src |
  grep -vE '^src/[^:]*_win32\.cpp:|^src/ui/win32/' || true)

while IFS= read -r hit; do
  breach "platform #if outside the split files: $hit"
done < <(grep -rnE '^\s*#\s*(if|ifdef|ifndef|elif).*(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|__MINGW|_MSC_VER|__GLIBC__)' src |
  grep -vE '^src/[^:]*_(win32|posix)\.cpp:|^src/ui/(qt|win32)/' || true)

if [ "$bad" -eq 0 ]; then echo "layering: clean"; fi
exit "$bad"
