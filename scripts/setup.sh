#!/usr/bin/env bash
# Installs everything the project needs to build, test and run on a fresh
# Debian 12 machine. Run as root (or through sudo); safe to run again.
set -euo pipefail

packages=(
  # toolchain
  build-essential g++ cmake ninja-build pkg-config git
  # packaging: dpkg-shlibdeps works out the package's library dependencies
  dpkg-dev file
  # tests
  googletest libgtest-dev
  # SHA-256 for the checksum lists (OpenSSL's libcrypto)
  libssl-dev
  # the window: Qt 6 Widgets, its platform plugins and Chinese translations
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n
  libgl-dev
  # free Song and Kai style CJK faces so Chinese text renders everywhere
  fonts-arphic-uming fonts-arphic-ukai fontconfig
  # looking at the window as a user would: virtual display, input, screenshots
  xvfb xauth xdotool imagemagick x11-utils
  # formatting and sanitizer runtime
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
