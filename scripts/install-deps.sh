#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Quillon need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-14 libclang-rt-14-dev clang-format
  libx11-dev libx11-xcb-dev libxtst-dev libxi-dev libxkbcommon-dev libxkbcommon-x11-dev libxss-dev
  libssl-dev libcurl4-openssl-dev libarchive-dev libgtest-dev
  libgtk-4-dev libwebkitgtk-6.0-4 patchelf
  xvfb x11-xkb-utils xdotool xauth openssl zlib1g-dev openbox python3 curl
)
# `install-deps.sh package`: also what scripts/package.sh and scripts/package-test.sh use.
if [ "${1:-}" = "package" ]; then
  PACKAGES+=(lintian desktop-file-utils appstream debootstrap)
fi
# Node.js and npm only when the machine has none of its own.
command -v npm >/dev/null 2>&1 || PACKAGES+=(nodejs npm)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# npm packages, exactly as the lock file pins them: the web view library and the page's
# sortable lists. Their install scripts are not run.
cd "$(dirname "$0")/.."
# A folder emptied or half filled by an interrupted install counts as missing.
if [ ! -f node_modules/webview-bun/build/libwebview-x64.so ] || [ ! -d node_modules/sortablejs ] ||
   [ package-lock.json -nt node_modules ]; then
  npm ci --ignore-scripts --no-audit --no-fund --loglevel=error
fi
