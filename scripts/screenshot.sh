#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the program on a virtual display and saves a picture of each panel, once at the
# normal scale and once with every pixel doubled (QT_SCALE_FACTOR=2), as on a HiDPI screen:
#   screenshots/split.png, merge.png, help.png and screenshots/2x/split.png, merge.png, help.png
# Usage: scripts/screenshot.sh [program] [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/dev/ui/korvel-splitter}
out=${2:-screenshots}

if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" "$program" "$out"
fi

source scripts/xvfb-window.sh
pid=""
trap 'kill $pid 2>/dev/null || true' EXIT

# Clicks at a point of the window given in pixels at the normal scale (twips / 15).
click() {
  xdotool mousemove --window "$window" $(($1 * scale)) $(($2 * scale))
  sleep 0.2
  xdotool click 1
  sleep 0.5
}

# Pictures of the split, merge and help panels, clicking the mode buttons at their centres.
take() {
  local folder=$1
  mkdir -p "$folder"
  QT_SCALE_FACTOR=$scale start_window "$program"
  import -window "$window" "$folder/split.png"
  click 116 86
  import -window "$window" "$folder/merge.png"
  click 188 86
  import -window "$window" "$folder/help.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "saved $folder/split.png $folder/merge.png $folder/help.png"
}

scale=1 take "$out"
scale=2 take "$out/2x"
