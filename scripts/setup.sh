#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs everything the project needs to build, test and run on a fresh
# Debian 12 machine. Run as root (or through sudo); safe to run again.
#   scripts/setup.sh            what building, testing and running need
#   scripts/setup.sh packaging  that, plus the tools that build and check the Debian package
#   scripts/setup.sh windows    that, plus the MinGW-w64 cross compilers and wine, which build
#                               the engine for 64-bit Windows and run its tests (preset windows)
set -euo pipefail

packages=(
  # toolchain
  build-essential g++ cmake ninja-build pkg-config git
  # the engine's SHA-256 comes from OpenSSL's libcrypto
  libssl-dev
  # tests
  googletest libgtest-dev
  # the window: Qt 6 Widgets, its platform plugins and Chinese translations
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n
  libgl-dev
  # free Song and Kai style CJK faces so Chinese text renders everywhere; Noto Serif CJK is
  # the Song face with a true bold that the window prefers, AR PL UMing the fallback
  fonts-noto-cjk fonts-arphic-uming fonts-arphic-ukai fontconfig
  # looking at the window as a user would: virtual display, a window manager for the title bar
  # and its close button, input, screenshots
  xvfb xauth openbox xdotool imagemagick x11-utils
  # reading the window as a screen reader does: the accessibility bus, a session bus to find
  # it on, and the reader's Python bindings
  at-spi2-core dbus-daemon python3-pyatspi
  # formatting and sanitizer runtime
  clang-format
  # access lists in the tests of who may read a set (setfacl, getfacl)
  acl
  # numbered sets other splitters write, and their checksum files, made in the tests
  p7zip-full cksfv
)

if [[ "${1:-}" == packaging ]]; then
  packages+=(
    # dpkg-buildpackage, debhelper (dh with CMake and Ninja), lintian, and devscripts for
    # hardening-check and dcmd
    dpkg-dev debhelper lintian devscripts
    # checks of the menu entry and the AppStream metadata
    desktop-file-utils appstream
    # man and lexgrog, to render the manual pages
    man-db
  )
elif [[ "${1:-}" == windows ]]; then
  packages+=(
    # the cross compilers of the posix thread model: the plain x86_64-w64-mingw32-g++ is the
    # win32 model, whose standard library has no std::mutex or std::jthread
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
    # the 64-bit wine runs the Windows tests (Debian's command for it is wine)
    wine wine64
    # GoogleTest's sources, built with the cross compiler inside the windows build
    googletest
    # the program's icon and the links' pointer, drawn from the project's pictures at build
    # time; the installer and the zip
    librsvg2-bin icoutils nsis zip unzip
    # the window under wine: the caption buttons' glyphs (Marlett) and Tahoma, and the Chinese
    # locale, in which wine draws Chinese text and reads UTF-8 file names
    fonts-wine locales
  )
elif [[ -n "${1:-}" ]]; then
  echo "usage: $0 [packaging|windows]" >&2
  exit 2
fi

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

# Wine reads file names in the locale's character set: zh_CN.UTF-8 must exist, not only be named.
if [[ "${1:-}" == windows ]] && ! locale -a | grep -qix 'zh_CN.utf8'; then
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi
