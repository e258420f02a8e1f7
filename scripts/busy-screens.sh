#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Splits a large file from the window on a virtual display with a window manager and takes a
# screenshot every half second while it runs, clicking the merge mode button meanwhile (it must
# be ignored). Once, it presses the close button: the window asks whether to stop, and the
# script answers No (Enter), so the split goes on. Pictures go to screenshots/busy-*.png.
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
pid="" wm=""
trap 'kill $pid $wm 2>/dev/null || true; rm -rf "$work"' EXIT
head -c $((size * 1048576)) /dev/urandom > "$work/big.bin"
sync
echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true   # read from disk, as after a reboot

source scripts/xvfb-window.sh
start_window_manager
start_window "$program" "$work/big.bin"   # the file fills the split panel
xdotool key Tab Tab                       # to the size box, "128" selected
xdotool type "128"
xdotool key alt+s
for i in $(seq -w 1 20); do
  sleep 0.5
  import -window root "screenshots/busy-$i.png"
  xdotool mousemove --window "$window" 116 86 click 1     # the merge mode button
  if [[ "$i" == 04 ]]; then
    xdotool mousemove --window "$window" 300 262 click 1  # the close button: it asks
    sleep 0.5
    import -window root "screenshots/busy-question.png"
    xdotool key Return                                    # No, the default
  fi
done
kill -0 $pid && echo "the program is still running"
ls "$work"
