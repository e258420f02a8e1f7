# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that drive the program on a virtual display.
#   start_window_manager          starts openbox, as a desktop has a window manager (title bars,
#                                 Alt+F4, frames); sets $wm
#   start_window PROGRAM [ARG...] starts it, sets $pid and $window, and gives the window the focus
#   wait_for_window TITLE         waits for a visible window with that title (a regular
#                                 expression) and prints its id

start_window_manager() {
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 0.5
}

wait_for_window() {
  local found=""
  for _ in $(seq 50); do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [[ -n "$found" ]] && break
    sleep 0.2
  done
  [[ -n "$found" ]] || { echo "no window titled $1 appeared" >&2; return 1; }
  echo "$found"
}

start_window() {
  "$@" &
  pid=$!
  window=$(wait_for_window '^Korvel文件分割器$') || exit 1
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  sleep 0.5
}
