# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that drive the Windows program under wine on a virtual display. They
# set $peek_exe (tests/win32/peek.cpp, built) before calling peek or expect.

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wait-for.sh"

# Makes the wine prefix $1 at $2 dpi (96 if not given), starts its session and a window manager,
# whose process is left in $wm.
start_wine_desktop() {
  wine_window_prefix "$1" "${2:-96}" || fail "could not make the wine prefix $1"
  wine_quiet wineserver -p
  wine_quiet wine cmd /c exit || fail "wine did not start"
  openbox >/dev/null 2>&1 &
  wm=$!
  wait_for 60 wm_up || fail "the window manager did not start"
}

# The window manager has announced itself on the root window.
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# What korvel-peek reads of the program's window with WM_GETTEXT (xdotool cannot).
peek() { wine "$peek_exe" "$@" 2>/dev/null | tr -d '\r'; }

# Waits until what korvel-peek says equals the text given last: a key sent is in the X
# server's queue, and a busy machine may take seconds before the window has handled it.
expect() {
  local want=${*: -1}
  wait_for 30 peek_says "$@" || fail "korvel-peek $*: got '$(peek "${@:1:$#-1}")'"
}
peek_says() { [[ "$(peek "${@:1:$#-1}")" == "${*: -1}" ]]; }

# The visible X window whose title is exactly $1. Wine writes the title in UTF-8 only to
# _NET_WM_NAME (WM_NAME, which xdotool matches, gets "?" for each Chinese character).
window_named() {
  local w
  for w in $(xdotool search --onlyvisible --name . 2>/dev/null || true); do
    if [[ "$(xprop -id "$w" _NET_WM_NAME 2>/dev/null)" == "_NET_WM_NAME(UTF8_STRING) = \"$1\"" ]]; then
      echo "$w"
      return 0
    fi
  done
}

window_up() { [[ -n "$(window_named Korvel文件分割器)" ]]; }

# The path as the program sees it: wine's drive Z: is the machine's root.
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
