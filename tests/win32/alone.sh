#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program alone, as it comes out of the zip, under wine on a virtual display: its window,
# found by its title, shows, and Alt+C ends it with status 0.
# Usage: alone.sh PROGRAM PREFIX
set -euo pipefail
program=$(realpath "$1")
prefix=$2
here=$(cd "$(dirname "$0")" && pwd)
if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "$@"
fi
source "$here/../../scripts/wine-window.sh"
source "$here/driving.sh"
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
pid="" wm=""
trap '[[ -n "$pid" ]] && kill "$pid" 2>/dev/null; wine_window_end; [[ -n "$wm" ]] && kill "$wm" 2>/dev/null' EXIT
start_wine_desktop "$prefix"
wine "$program" </dev/null >/dev/null 2>&1 &
pid=$!
wait_for 60 window_up || fail "$program showed no window titled Korvel文件分割器"
window=$(window_named Korvel文件分割器)
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
wait_for 30 bash -c "[[ \"\$(xdotool getwindowfocus 2>/dev/null)\" == $window ]]" ||
  fail "the window did not get the focus"
xdotool key alt+c
wait_for 30 bash -c "! kill -0 $pid 2>/dev/null" || fail "Alt+C did not end $program"
status=0
wait "$pid" || status=$?
pid=""
[[ "$status" == 0 ]] || { echo "FAILED: $program ended with status $status" >&2; exit 1; }
echo "$(basename "$program") alone: its window showed, and Alt+C ended it with status 0"
