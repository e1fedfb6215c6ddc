#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the layering of src/: which layer may include which, Qt only in
# src/ui/qt, <windows.h> only in the Windows files, and no platform #if
# outside the split files (*_posix.cpp, *_win32.cpp, src/ui/qt, src/ui/win32).
# Prints every breach and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# The layers each layer may include, besides itself and base (the
# header-only helpers under every layer).
declare -A allowed=(
  [base]=""
  [os]=""
  [serial]="os"
  [fs]="os"
  [errors]="os"
  [dbf]="os errors"
  [ui]="os serial"
  [lib]="os fs errors ui dbf"
  [server]="os fs errors ui dbf lib"
  [app]="os serial fs errors ui lib dbf"
)

bad=0
breach() { echo "layering: $*"; bad=1; }

for dir in src/*/; do
  layer=$(basename "$dir")
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
  done < <(grep -rnoE '^#include "[a-z0-9_]+/' "$dir" | sed -E 's|#include "([a-z0-9_]+)/$|\1|')
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
