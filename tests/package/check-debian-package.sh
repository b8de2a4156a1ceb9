#!/usr/bin/env bash
# Makes the Debian package of a build folder with CPack, unpacks it into a
# fresh root with dpkg -x (nothing is installed on this machine), and runs
# what it installed from there:
#
#   check-debian-package.sh BUILD_DIR VERSION WITH_DISPLAY
#
# - the package declares the libraries it needs (dpkg-shlibdeps);
# - every program in usr/bin answers --version with "NAME VERSION";
# - the desktop entry and the AppStream metainfo pass their validators, the
#   icon and the manual pages are where desktops and man look for them;
# - the window, started from the unpacked root on Xvfb (WITH_DISPLAY), shows
#   the start-up notice (its maker's host is unreachable here), then the
#   window at 368x329, and Esc ends it with status 0.
set -euo pipefail
build=$1 version=$2 with_display=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=("$work"/packages/lorvane_"$version"_*.deb)
[[ -f "${debs[0]}" ]] || fail "no lorvane_${version}_*.deb in $(ls "$work/packages")"
deb=${debs[0]}
echo "package: $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libqt6widgets6 libcurl4 libc6 libstdc++6; do
  [[ "$depends" == *"$library"* ]] || fail "Depends does not name $library"
done

root="$work/root"
dpkg -x "$deb" "$root"
bin="$root/usr/bin"

programs=(lorvane lorvane-submit lorvane-demo)
[[ -x "$build/cli/lorvane-push" ]] && programs+=(lorvane-push)
for program in "${programs[@]}"; do
  [[ -x "$bin/$program" ]] || fail "$program is not in usr/bin"
done
for path in "$bin"/*; do
  program=$(basename "$path")
  answer=$(QT_QPA_PLATFORM=offscreen "$path" --version)
  [[ "$answer" == "$program $version" ]] || fail "$program --version said '$answer'"
  echo "$program --version: $answer"
done

share="$root/usr/share"
desktop_file=$(echo "$share"/applications/*.desktop)
desktop-file-validate "$desktop_file" || fail "desktop-file-validate $desktop_file"
grep -q '^Name\[zh_CN\]=' "$desktop_file" || fail "the desktop entry has no Chinese name"
metainfo=$(echo "$share"/metainfo/*.metainfo.xml)
appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log" >&2; fail "appstreamcli validate $metainfo"; }
icon=$(sed -n 's/^Icon=//p' "$desktop_file")
for size in scalable/apps/"$icon".svg {16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/"$icon".png; do
  [[ -s "$share/icons/hicolor/$size" ]] || fail "no icon hicolor/$size"
done
pages=(lorvane-submit lorvane-demo)
[[ " ${programs[*]} " == *" lorvane-push "* ]] && pages+=(lorvane-push)
for page in "${pages[@]}"; do
  [[ -s "$share/man/man1/$page.1" ]] || fail "no manual page $page.1"
  head -n 1 "$share/man/man1/$page.1" | grep -qF "\"Lorvane $version\"" ||
    fail "manual page $page.1 does not name version $version: $(head -n 1 "$share/man/man1/$page.1")"
done
echo "desktop entry, metainfo, icons and manual pages: in place"

# The window, from the unpacked root. The notice wants a browser: a stand-in
# xdg-open first in PATH records the address instead of starting one.
mkdir "$work/path"
cat >"$work/path/xdg-open" <<SCRIPT
#!/bin/sh
echo "\$@" >>"$work/opened"
SCRIPT
chmod +x "$work/path/xdg-open"
# The unpacked share/ first among the data folders, as /usr/share is for an
# installed package, so that the window finds its icon in the hicolor theme.
PATH="$work/path:$PATH" XDG_DATA_DIRS="$share:/usr/share" "$with_display" -- bash -c '
  set -euo pipefail
  bin=$1 work=$2
  "$bin/lorvane" >"$work/lorvane.log" 2>&1 &
  pid=$!
  find_window() {  # title; waits up to 60 s for a visible window with it
    local id
    for ((tries = 0; tries < 600; ++tries)); do
      id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
      [[ -n "$id" ]] && { echo "$id"; return 0; }
      kill -0 "$pid" 2>/dev/null || return 1
      sleep 0.1
    done
    return 1
  }
  notice=$(find_window "信息") || { cat "$work/lorvane.log" >&2; echo "no notice" >&2; exit 1; }
  xdotool windowfocus --sync "$notice" key Return
  window=$(find_window "^Lorvane\$") || { echo "no main window" >&2; exit 1; }
  xwininfo -id "$window" | grep -E "Width|Height" | tr -s " " >"$work/size"
  xprop -id "$window" _NET_WM_ICON | grep -o "Icon ([0-9]* x [0-9]*)" >"$work/icons" || true
  xdotool windowfocus --sync "$window" key Escape
  for ((tries = 0; tries < 100; ++tries)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { kill "$pid"; echo "Esc did not end the window" >&2; exit 1; }
  wait "$pid"
' _ "$bin" "$work" || fail "the window from the unpacked root"
grep -q "Width: 368" "$work/size" && grep -q "Height: 329" "$work/size" ||
  fail "the window is $(tr '\n' ' ' <"$work/size")"
grep -q "^https://" "$work/opened" || fail "the notice opened no home page"
# Qt's own window icon is one picture of 48 x 48; the program's comes in
# the sizes of its theme (Qt hands the window 32, 48 and 64).
grep -q "Icon (32 x 32)" "$work/icons" ||
  fail "the window does not show the program's icon (sizes: $(tr '\n' ' ' <"$work/icons"))"
echo "window: notice, then $(tr '\n' ' ' <"$work/size")closed by Esc with status 0"
