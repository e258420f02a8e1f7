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
pid="" wm=""
trap '[[ -n "$pid" ]] && kill "$pid" 2>/dev/null; wine_window_end; [[ -n "$wm" ]] && kill "$wm" 2>/dev/null' EXIT
wine_window_prefix "$prefix" 96
wine_quiet wineserver -p
wine_quiet wine cmd /c exit
openbox >/dev/null 2>&1 &
wm=$!
sleep 0.5
wine "$program" </dev/null >/dev/null 2>&1 &
pid=$!
window=""
for _ in $(seq 300); do
  for w in $(xdotool search --onlyvisible --name . 2>/dev/null || true); do
    [[ "$(xprop -id "$w" _NET_WM_NAME 2>/dev/null)" == '_NET_WM_NAME(UTF8_STRING) = "Korvel文件分割器"' ]] && window=$w
  done
  [[ -n "$window" ]] && break
  sleep 0.1
done
[[ -n "$window" ]] || { echo "FAILED: $program showed no window titled Korvel文件分割器" >&2; exit 1; }
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
sleep 0.5
xdotool key alt+c
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && { echo "FAILED: Alt+C did not end $program" >&2; exit 1; }
status=0
wait "$pid" || status=$?
pid=""
[[ "$status" == 0 ]] || { echo "FAILED: $program ended with status $status" >&2; exit 1; }
echo "$(basename "$program") alone: its window showed, and Alt+C ended it with status 0"
