#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the program on a virtual display with a window manager and saves what a user sees,
# once at the normal scale and once with every pixel doubled (QT_SCALE_FACTOR=2), as on a
# HiDPI screen, in screenshots/ and screenshots/2x/:
#   split.png, merge.png, help.png  the three panels, the focus on the selected mode button
#   focus.png                       the split panel with the focus on its button
#   dialog.png                      F4's file dialog, in a folder of files of several kinds
#   failure.png                     a merge whose set lacks a piece, in a folder whose long
#                                   name has no break point: the box wraps the path
#   stop-question.png               a close request during a split: the question
# Usage: scripts/screenshot.sh [program] [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/dev/ui/korvel-splitter}")
out=${2:-screenshots}

if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" "$program" "$out"
fi

source scripts/xvfb-window.sh
# A Chinese desktop's locale where there is one: the file dialog names file types in it.
if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
fi
pid="" wm=""
work=$(mktemp -d /var/tmp/korvel-shots.XXXXXX)
trap 'kill $pid $wm 2>/dev/null || true; rm -rf "$work"' EXIT
start_window_manager

# A set in a folder with a 200-character name, its second piece gone, its source too.
folder="$work/$(printf 'x%.0s' $(seq 200))"
mkdir -p "$folder"
head -c $((3 * 1048576)) /dev/urandom >"$folder/视频.mp4"
# And 512 MiB to split, long enough to ask about closing meanwhile.
head -c $((512 * 1048576)) /dev/urandom >"$work/big.bin"
printf '一段文字\n' >"$work/说明.txt"
cp ui/resources/icon.png "$work/图标.png"

# Clicks at a point of the window given in pixels at the normal scale (twips / 15).
click() {
  xdotool mousemove --window "$window" $(($1 * scale)) $(($2 * scale))
  sleep 0.2
  xdotool click 1
  sleep 0.5
}
stop() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
shoot_box() {
  local box
  box=$(wait_for_window "$1")
  sleep 0.5
  import -frame -window "$box" "$2"
}

# Splits with the program itself, in 1 MiB pieces, without showing its window for long.
korvel_split() {
  start_window "$program" "$1"
  xdotool key --delay 100 Tab Tab
  xdotool type 1
  xdotool key alt+s
  wait_for_window '^文件分割成功$' >/dev/null
  xdotool key Return
  sleep 0.3
  stop
}

take() {
  local folder_out=$1
  mkdir -p "$folder_out"
  export QT_SCALE_FACTOR=$scale

  start_window "$program"
  import -window "$window" "$folder_out/split.png"
  click 116 86
  import -window "$window" "$folder_out/merge.png"
  click 188 86
  import -window "$window" "$folder_out/help.png"
  stop

  # F4 in the path field opens the dialog in its file's folder; Escape, then Tab to the button.
  start_window "$program" "$work/big.bin"
  xdotool key Tab F4
  shoot_box '^打开需要被分割的文件$' "$folder_out/dialog.png"
  xdotool key Escape
  sleep 0.5
  xdotool key --delay 100 Tab Tab
  sleep 0.3
  import -window "$window" "$folder_out/focus.png"
  stop

  # The list file from the command line opens the merge panel filled in; Alt+U merges.
  start_window "$program" "$folder/视频.mp4.FLF"
  xdotool key alt+u
  shoot_box '^文件合并失败$' "$folder_out/failure.png"
  xdotool key Return
  stop

  # A file given on the command line fills the split panel; a size of 1 and Alt+S split it,
  # Alt+C asks, Enter answers No.
  rm -f "$work"/big.bin.*
  start_window "$program" "$work/big.bin"
  xdotool key --delay 100 Tab Tab
  xdotool type 1
  xdotool key alt+s
  sleep 0.5
  xdotool key alt+c
  sleep 0.5
  local box
  box=$(xdotool search --onlyvisible --name '^Korvel文件分割器$' | grep -vx "$window" | head -1)
  [[ -n "$box" ]] && import -frame -window "$box" "$folder_out/stop-question.png"
  xdotool key Return
  stop
  rm -f "$work"/big.bin.*
  unset QT_SCALE_FACTOR
  echo "saved $folder_out/{split,merge,help,focus,dialog,failure,stop-question}.png"
}

korvel_split "$folder/视频.mp4"
rm "$folder/视频.mp4.001" "$folder/视频.mp4"

scale=1 take "$out"
scale=2 take "$out/2x"
