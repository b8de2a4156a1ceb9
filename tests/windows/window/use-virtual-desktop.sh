#!/usr/bin/env bash
# Makes each named test program run in a Wine virtual desktop of the given
# size, through the prefix's per-program settings:
#
#   use-virtual-desktop.sh WINE_RUN SIZE PROGRAM...
#
# On Xvfb there is no window manager, and Wine waits two seconds for one each
# time it hides a top-level X window. Inside a virtual desktop the windows are
# Wine's own, drawn with their frames and captions as Windows draws them, and
# nothing waits. Other programs in the prefix keep their own settings.
set -euo pipefail
wine_run=$1 size=$2
shift 2
desktop=lorvane-window-tests
"$wine_run" -- reg add 'HKCU\Software\Wine\Explorer\Desktops' /v "$desktop" /d "$size" /f >/dev/null
for program in "$@"; do
  "$wine_run" -- reg add "HKCU\\Software\\Wine\\AppDefaults\\$program.exe\\Explorer" \
    /v Desktop /d "$desktop" /f >/dev/null
done
