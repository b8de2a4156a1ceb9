#!/usr/bin/env bash
# Makes the Windows zip of a build folder with CPack, unpacks it, checks what
# it holds and runs lorvane.exe under Wine from the unpacked folder:
#
#   check-windows-zip.sh BUILD_DIR VERSION WINE_RUN USE_VIRTUAL_DESKTOP CHECKER.exe
#
# CHECKER.exe (zip_program_test) starts the unpacked program; both run in the
# window tests' Wine virtual desktop, and the browser that the start-up
# notice opens is switched off (winebrowser.exe=d).
set -euo pipefail
build=$1 version=$2 wine_run=$3 use_virtual_desktop=$4 checker=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
zip="$work/packages/lorvane-$version-windows-x64.zip"
[[ -f "$zip" ]] || fail "no $(basename "$zip") in $(ls "$work/packages")"
unzip -q "$zip" -d "$work/unpacked"
folder="$work/unpacked/lorvane-$version-windows-x64"
for file in lorvane.exe README.txt licences/mingw-w64.txt licences/gcc-runtime.txt; do
  [[ -s "$folder/$file" ]] || fail "$file is not in the zip"
done
grep -q "winpthreads" "$folder/licences/mingw-w64.txt" || fail "the mingw-w64 text does not cover winpthreads"
grep -q "GCC RUNTIME LIBRARY EXCEPTION" "$folder/licences/gcc-runtime.txt" ||
  fail "the GCC text has no runtime library exception"
grep -q "Lorvane $version" "$folder/README.txt" || fail "the README does not name version $version"
echo "zip: $(cd "$work/unpacked" && find . -type f | sort | tr '\n' ' ')"

"$use_virtual_desktop" "$wine_run" 1024x768 "$(basename "$checker" .exe)" lorvane
LORVANE_UNPACKED_PROGRAM="Z:${folder//\//\\}\\lorvane.exe" WINEDLLOVERRIDES=winebrowser.exe=d \
  "$wine_run" --display -- "$checker"
