#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the Windows download: unpacks the zip into a throwaway folder and
# runs what is in it under Wine.
#   scripts/check_zip.sh [talvi-<version>-win32.zip]
# Without an argument the zip is made first (scripts/package_zip.sh).
#
# 1. The zip holds talvi.exe, talvi-ports.exe, opd.exe, README-Windows.txt
#    and LICENSE.txt, nothing else; the texts have Windows line ends; the
#    programs are Windows programs of the zip's architecture that load no
#    DLL beyond the system's own (static run-time).
# 2. talvi-ports.exe and opd.exe run under Wine: a COM port that is not
#    there is "missing" (exit code 1), a file that is not an image is
#    refused (exit code 2).
# 3. talvi.exe receives a whole disk end to end where it was unpacked
#    (scripts/e2e_wine.sh --in-place: the simulated remote on a COM port of
#    the prefix, the save dialog answered, the file compared, Esc, the close
#    box, exit code 0).
# A 32-bit zip on a machine that cannot run 32-bit programs: steps 2 and 3
# are left out with a note. Prints how long it took. WINEPREFIX as in
# scripts/e2e_wine.sh (default build/wine-e2e).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
begin=$SECONDS

fail() {
  echo "check_zip: FAIL: $*" >&2
  exit 1
}

zip=${1:-}
if [ -z "$zip" ]; then
  bash scripts/package_zip.sh i686
  zip=$(ls build/package-win32/talvi-*-win32.zip)
fi
[ -f "$zip" ] || fail "no zip $zip"
zip=$(realpath "$zip")
echo "== check_zip: $(basename "$zip")"
case "$zip" in
  *-win32.zip) pe='PE32 executable' machine='Intel 80386' ;;
  *-win64.zip) pe='PE32\+ executable' machine='x86-64' ;;
  *) fail "$zip: neither a -win32 nor a -win64 zip" ;;
esac

unpacked=$(mktemp -d /tmp/talvi-zip.XXXXXX)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
listing=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
[ "$listing" = "LICENSE.txt README-Windows.txt opd.exe talvi-ports.exe talvi.exe " ] ||
  fail "the zip holds: $listing"
for text in README-Windows.txt LICENSE.txt; do
  lines=$(wc -l <"$unpacked/$text")
  crlf=$(grep -c $'\r$' "$unpacked/$text" || true)
  [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || fail "$text: $crlf of $lines lines end in CR LF"
done
grep -q 'Porta=COM' "$unpacked/README-Windows.txt" || fail "README-Windows.txt does not say how to name the port"
for exe in talvi.exe talvi-ports.exe opd.exe; do
  kind=$(file -b "$unpacked/$exe")
  grep -Eq "^$pe .*$machine" <<<"$kind" || fail "$exe: $kind"
  # Only the system's own DLLs: the C++ and threads run-times are linked in.
  dlls=$(objdump -p "$unpacked/$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  for dll in $dlls; do
    case "$dll" in
      kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | comdlg32.dll | advapi32.dll | \
        shell32.dll | ole32.dll | setupapi.dll | msvcrt.dll | ws2_32.dll | winmm.dll | \
        api-ms-win-*.dll) ;;
      *) fail "$exe needs $dll, which Windows does not have" ;;
    esac
  done
done
grep -q 'GUI' <<<"$(file -b "$unpacked/talvi.exe")" || fail "talvi.exe is not a windowed program"
echo "check_zip: contents, line ends and DLLs as they should be ($((SECONDS - begin)) s)"

export WINEPREFIX=${WINEPREFIX:-$repo/build/wine-e2e} WINEDEBUG=${WINEDEBUG:--all}
if [ "$machine" = x86-64 ]; then
  loader=/usr/lib/wine/wine64
else
  loader=/usr/lib/wine/wine
fi
mkdir -p "$WINEPREFIX"
if ! DISPLAY='' "$loader" "$unpacked/opd.exe" --help >/dev/null 2>&1; then
  if [ "$machine" = x86-64 ]; then
    fail "opd.exe does not run under Wine"
  fi
  echo "check_zip: this machine cannot run 32-bit programs: the programs were checked, not run"
  echo "check_zip: passed (not run) in $((SECONDS - begin)) s"
  exit 0
fi
code=0
DISPLAY='' "$loader" "$unpacked/talvi-ports.exe" COM199 >"$unpacked/ports.log" 2>&1 || code=$?
tr -d '\r' <"$unpacked/ports.log" | grep -q 'There is no COM199' ||
  fail "talvi-ports.exe COM199: $(cat "$unpacked/ports.log")"
[ "$code" = 1 ] || fail "talvi-ports.exe COM199 ended with $code, not 1 (missing)"
code=0
(cd "$unpacked" && DISPLAY='' "$loader" opd.exe info README-Windows.txt >opd.log 2>&1) || code=$?
[ "$code" = 2 ] || fail "opd.exe info README-Windows.txt ended with $code: $(cat "$unpacked/opd.log")"
grep -q 'not a disk image' "$unpacked/opd.log" || fail "opd.exe: $(cat "$unpacked/opd.log")"
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
echo "check_zip: talvi-ports.exe and opd.exe run ($((SECONDS - begin)) s)"
rm -f "$unpacked/ports.log" "$unpacked/opd.log"

bash scripts/e2e_wine.sh --in-place "$unpacked/talvi.exe"
[ -s "$unpacked/disk.opd" ] || fail "no disk was saved beside the unpacked talvi.exe"
echo "check_zip: passed in $((SECONDS - begin)) s"
