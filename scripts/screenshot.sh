#!/usr/bin/env bash
# Starts the program on a virtual display and saves a picture of each panel:
#   screenshots/split.png, screenshots/merge.png, screenshots/help.png
# Usage: scripts/screenshot.sh [program] [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/dev/ui/korvel-splitter}
out=${2:-screenshots}
mkdir -p "$out"

if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$program" "$out"
fi

source scripts/xvfb-window.sh
start_window "$program"
trap 'kill $pid 2>/dev/null || true' EXIT

# Mode buttons, at their centres in pixels (twips / 15).
click() {
  xdotool mousemove --window "$window" "$1" "$2"
  sleep 0.2
  xdotool click 1
  sleep 0.5
}
import -window root "$out/split.png"
click 116 86
import -window root "$out/merge.png"
click 188 86
import -window root "$out/help.png"
echo "saved $out/split.png $out/merge.png $out/help.png"
