# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that drive the program on a virtual display.
#   start_window_manager          starts openbox, as a desktop has a window manager (title bars,
#                                 Alt+F4, frames); sets $wm
#   start_window PROGRAM [ARG...] starts it, sets $pid and $window, and gives the window the focus
#   wait_for_window TITLE         waits for a visible window with that title (a regular
#                                 expression) and prints its id

source "$(dirname "${BASH_SOURCE[0]}")/wait-for.sh"

start_window_manager() {
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 0.5
}

# The first visible window titled $1; fails when there is none.
visible_window() {
  local found
  found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
  [[ -n "$found" ]] && echo "$found"
}

wait_for_window() {
  wait_for 10 visible_window "$1" >/dev/null || { echo "no window titled $1 appeared" >&2; return 1; }
  visible_window "$1"
}

start_window() {
  "$@" &
  pid=$!
  window=$(wait_for_window '^Korvel文件分割器$') || exit 1
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  sleep 0.5
}
