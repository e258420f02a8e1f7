# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that show the Windows program's window under wine on a virtual display.
#   wine_window_prefix PREFIX [DPI]  makes (the first time) or reuses a wine prefix that draws
#                                    Chinese text and the title bar's glyphs, sets its DPI
#                                    (96 by default) and exports what wine needs to run in it
#   wine_window_end                  ends every wine process of the prefix
#
# Wine ships no Chinese fonts: 宋体/SimSun/NSimSun stand for Debian's AR PL UMing CN and
# 楷体_GB2312/楷体/KaiTi for AR PL UKai CN (FontSubstitutes), and wine draws with them only
# under a Chinese locale (LANG and LC_ALL; the locale need not be generated). Wine does not
# read its own font folder for the caption buttons' Marlett glyphs, so they are copied in.

# Wine in the Chinese locale; set for wine alone, as this machine need not have it generated.
wine() {
  env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine "$@"
}

# Runs a command with wine's output and input cut off: its session processes outlive the
# command and would hold a caller's pipes open.
wine_quiet() {
  "$@" </dev/null >/dev/null 2>&1
}

wine_window_prefix() {
  local prefix dpi=${2:-96}
  prefix=$(realpath -m "$1")  # wine takes an absolute path only
  # Without Mono and Gecko, and without winemenubuilder, which would copy Start menu entries and
  # file associations into this machine's own desktop menus.
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  wine_window_end
  mkdir -p "$prefix"
  local reg="$prefix/korvel-window.reg"
  if [[ ! -f "$prefix/.korvel-window" ]]; then
    wine_quiet wine cmd /c exit || { echo "wine could not start in $prefix" >&2; return 1; }
    mkdir -p "$prefix/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf \
      "$prefix/drive_c/windows/Fonts/"
    {
      printf 'Windows Registry Editor Version 5.00\r\n\r\n'
      printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
      for song in 宋体 SimSun NSimSun 新宋体; do
        printf '"%s"="AR PL UMing CN"\r\n' "$song"
      done
      for kai in 楷体_GB2312 楷体 KaiTi KaiTi_GB2312; do
        printf '"%s"="AR PL UKai CN"\r\n' "$kai"
      done
      printf '\r\n'
    } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
    wine_quiet wine regedit /S "$reg" || { echo "could not set the fonts in $prefix" >&2; return 1; }
    touch "$prefix/.korvel-window"
  fi
  local hex
  hex=$(printf '%08x' "$dpi")
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%s\r\n\r\n' "$hex"
    printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]\r\n'
    printf '"LogPixels"=dword:%s\r\n\r\n' "$hex"
  } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
  wine_quiet wine regedit /S "$reg" || { echo "could not set the DPI in $prefix" >&2; return 1; }
  # The DPI is read when the session starts.
  wine_window_end
}

wine_window_end() {
  wine_quiet wineserver -k || true
  wine_quiet wineserver -w || true
}
