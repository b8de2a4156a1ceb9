#!/usr/bin/env bash
# Installs the Debian packages that building and testing Lorvane need.
# Idempotent: silent and quick when everything is already there; otherwise one
# `apt-get update`, then one install of what is missing.
set -euo pipefail

packages=(
  # native build and tests
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libbenchmark-dev
  libcurl4-openssl-dev libssl-dev
  qt6-base-dev libqt6test6 libxcb1-dev
  # test fixtures: loopback servers, a real forward proxy
  libcpp-httplib-dev tinyproxy openssl
  # the Windows target, built with MinGW-w64 and run under Wine with Xvfb
  g++-mingw-w64-x86-64-posix wine64 wine xvfb xauth x11-apps
  # screenshots and Chinese glyphs; a real window manager for the window tests
  imagemagick fonts-wqy-microhei openbox x11-utils xdotool librsvg2-bin
  # lorvane-push: the ledger, JSON replies, sitemaps, gzip, options
  libsqlite3-dev sqlite3 nlohmann-json3-dev libxml2-dev zlib1g-dev libcli11-dev
  # fuzz targets (libFuzzer) and the sanitizers' runtime
  clang-14 libclang-rt-14-dev
  # benchmarks against their yardsticks
  curl nginx-light hyperfine linux-perf
  # packages: the Debian package and the Windows zip, and their checks
  dpkg-dev fakeroot zip unzip desktop-file-utils appstream
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [[ "$status" == installed ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
  "${missing[@]}" >/dev/null
