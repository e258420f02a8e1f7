#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows window's twin of scripts/screenshot.sh: starts korvel-splitter.exe under wine on
# a virtual display with a window manager and saves what a user sees, once at 96 dpi (100 %)
# and once at 192 dpi (200 %), in screenshots/windows/ and screenshots/windows/2x/:
#   split.png, merge.png, help.png  the three panels
#   busy.png                        a split under way: the status line's fill, the panels greyed
#   stop-question.png               a close request during that split: the question
#   failure.png                     a merge whose set lacks a piece, in a folder whose long
#                                   name has no break point: the system's box wraps the path
# Usage: scripts/screenshot-windows.sh [program] [korvel-peek] [output folder]
# (defaults: the windows preset's build; run scripts/setup.sh windows and build it first)
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/windows/win32/korvel-splitter.exe}")
peek_exe=$(realpath "${2:-build/windows/tests/win32/korvel-peek.exe}")
out=${3:-screenshots/windows}

if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1900x1200x24" "$0" "$program" "$peek_exe" "$out"
fi

source scripts/wine-window.sh
source tests/win32/driving.sh
fail() {
  echo "$*" >&2
  exit 1
}
prefix=$(realpath -m build/windows/wine-window)
pid="" wm=""
work=$(mktemp -d /var/tmp/korvel-shots.XXXXXX)
trap '[[ -n "$pid" ]] && kill "$pid" 2>/dev/null; wine_window_end; [[ -n "$wm" ]] && kill "$wm" 2>/dev/null; rm -rf "$work"' EXIT

box_titled() { [[ "$(peek box | head -1)" == "$1" ]]; }
window_gone() { [[ -z "$(window_named Korvel文件分割器)" ]]; }
# Saves the message box titled $1, with its frame, as $2 once it shows.
shoot_box() {
  wait_for 30 box_titled "$1" || { echo "no box titled $1 appeared" >&2; return 1; }
  [[ -n "${2:-}" ]] || return 0
  sleep 0.5
  import -window root -crop "$(peek boxrect)" +repage "$2"
}
start() {
  wine "$program" "$@" </dev/null >/dev/null 2>&1 &
  pid=$!
  wait_for 30 window_up || fail "the window did not appear"
  window=$(window_named Korvel文件分割器)
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  sleep 1
}
# Alt+C, as a user closes it; a window killed instead would linger on the display.
stop() {
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  xdotool key alt+c
  wait_for 5 bash -c "! kill -0 $pid 2>/dev/null" || true
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
  wait_for 5 window_gone || true
}
# Clicks the middle of a rectangle of the layout given in twips.
click() {
  xdotool mousemove --window "$window" $((($1 + $3 / 2) * dpi / 1440)) $((($2 + $4 / 2) * dpi / 1440))
  sleep 0.2
  xdotool click 1
  sleep 0.8
}

# A set in a folder with a 200-character name, its second piece gone, its source too, made by
# the program itself; and 1 GiB to split, long enough to look at while it runs.
folder="$work/$(printf 'x%.0s' $(seq 200))"
mkdir -p "$folder"
head -c $((3 * 1048576)) /dev/urandom >"$folder/视频.mp4"
head -c $((1024 * 1048576)) /dev/urandom >"$work/big.bin"

take() {
  local folder_out=$1
  mkdir -p "$folder_out"
  start_wine_desktop "$prefix" "$dpi"

  if [[ ! -f "$folder/视频.mp4.FLF" ]]; then
    start "$(winpath "$folder/视频.mp4")"
    xdotool key --delay 150 Tab Tab
    xdotool type 1
    xdotool key alt+s
    shoot_box 文件分割成功
    xdotool key Return
    stop
    rm "$folder/视频.mp4.001" "$folder/视频.mp4"
  fi

  start
  import -window "$window" "$folder_out/split.png"
  click 1200 1080 1095 420
  import -window "$window" "$folder_out/merge.png"
  click 2280 1080 1095 420
  import -window "$window" "$folder_out/help.png"
  stop

  start "$(winpath "$folder/视频.mp4.FLF")"
  xdotool key alt+u
  shoot_box 文件合并失败 "$folder_out/failure.png"
  xdotool key Return
  stop

  rm -f "$work"/big.bin.*
  start "$(winpath "$work/big.bin")"
  xdotool key --delay 150 Tab Tab
  xdotool type 1
  xdotool mousemove 0 0  # no tooltip over the picture
  xdotool key alt+s
  sleep 1.5
  import -window "$window" "$folder_out/busy.png"
  xdotool key alt+c
  shoot_box Korvel文件分割器 "$folder_out/stop-question.png"
  xdotool key Return
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
  rm -f "$work"/big.bin.* "$work"/.big.bin.*
  kill "$wm" 2>/dev/null || true
  wm=""
  wine_window_end
  echo "saved $folder_out/{split,merge,help,failure,busy,stop-question}.png"
}

dpi=96 take "$out"
dpi=192 take "$out/2x"
# The prefix is shared with the tests, which expect 96 dpi.
wine_window_prefix "$prefix" 96
