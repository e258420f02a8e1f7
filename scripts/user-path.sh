#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program on a virtual display with the keyboard, as a user would: splits a
# file from the split panel, merges it back from the merge panel and compares the result.
# Saves screenshots of the outcome boxes in screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/dev/ui/korvel-splitter}
if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$program"
fi
mkdir -p screenshots
work=$(mktemp -d)
pid="" wm=""
trap 'kill $pid $wm 2>/dev/null || true; rm -rf "$work"' EXIT
head -c $((3 * 1048576 + 12345)) /dev/urandom > "$work/源文件 a.bin"

source scripts/xvfb-window.sh
start_window_manager
start_window "$program"
key() { xdotool key --delay 100 "$@"; sleep 0.4; }
type() { xdotool type --delay 20 "$1"; sleep 0.3; }

key Tab                                  # from the mode buttons to txtFileName
type "$work/源文件 a.bin"
key Return                               # to Combo1, "128" selected
type "1"
key Return                               # to cmdSplit
key alt+s                                # split; the outcome box shows when it is done
wait_for_window '^文件分割成功$' >/dev/null
import -window root screenshots/split-done.png
key Return                               # closes the outcome box

xdotool mousemove --window "$window" 116 86 click 1   # merge panel
sleep 0.5
key Tab
type "$work/源文件 a.bin.FLF"
key Return                               # to txtOutputFile
type "$work/merged.bin"
key Return                               # to cmdUnsplit
key Return                               # presses it
wait_for_window '^文件合并成功$' >/dev/null
import -window root screenshots/merge-done.png
key Return

ls -l "$work"
cmp "$work/源文件 a.bin" "$work/merged.bin" && echo "merged file equals the source"
