#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Splits a large file from the window on a virtual display and takes a screenshot every half
# second while it runs, clicking the merge mode button and the close button meanwhile (both
# must be ignored). Pictures go to screenshots/busy-*.png.
#   scripts/busy-screens.sh [size in MiB, default 2048] [folder for the file, default /var/tmp]
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/dev/ui/korvel-splitter
size=${1:-2048}
folder=${2:-/var/tmp}
if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$size" "$folder"
fi
mkdir -p screenshots
rm -f screenshots/busy-*.png
work=$(mktemp -d "$folder/korvel-busy.XXXXXX")
pid=""
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
head -c $((size * 1048576)) /dev/urandom > "$work/big.bin"
sync
echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true   # read from disk, as after a reboot

source scripts/xvfb-window.sh
start_window "$program"
xdotool key Tab
xdotool type --delay 10 "$work/big.bin"
xdotool key Return
xdotool type "128"
xdotool key Return
xdotool key alt+s
for i in $(seq -w 1 20); do
  sleep 0.5
  import -window root "screenshots/busy-$i.png"
  xdotool mousemove --window "$window" 116 86 click 1     # the merge mode button
  xdotool mousemove --window "$window" 300 262 click 1    # the close button
done
kill -0 $pid && echo "the program is still running"
ls "$work"
