#!/usr/bin/env bash
# Runs one Windows test program with the Wine prefix set to a display scaling,
# and sets the prefix back to 96 dpi afterwards, whatever the outcome:
#
#   at-dpi.sh DPI WINE_RUN [WINE_RUN OPTIONS] -- PROGRAM.exe [ARGS...]
#
# The scaling is the prefix's LogPixels, read by each Wine process as it
# starts; the program learns the expected value from LORVANE_TEST_DPI. The
# Windows tests run one at a time, so no other program sees the change.
set -euo pipefail
dpi=$1 wine_run=$2
shift 2
set_log_pixels() {
  local value
  value=$(printf '0x%x' "$1")
  "$wine_run" -- reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$value" /f >/dev/null
  "$wine_run" -- reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$value" /f >/dev/null
}
trap 'set_log_pixels 96' EXIT
set_log_pixels "$dpi"
LORVANE_TEST_DPI=$dpi "$wine_run" "$@"
