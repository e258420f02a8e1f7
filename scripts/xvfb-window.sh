# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that drive the program on a virtual display.
#   start_window PROGRAM  starts it, sets $pid and $window, and gives the window the focus.

start_window() {
  "$1" &
  pid=$!
  window=""
  for _ in $(seq 50); do
    window=$(xdotool search --onlyvisible --name "Korvel" 2>/dev/null | head -1 || true)
    [[ -n "$window" ]] && break
    sleep 0.2
  done
  [[ -n "$window" ]] || { echo "the window did not appear" >&2; exit 1; }
  xdotool windowfocus --sync "$window"
  sleep 0.5
}
