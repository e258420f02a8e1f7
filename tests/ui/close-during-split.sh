#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program on a virtual display with a window manager, driven with xdotool: it is
# started with a file to split, splits it in 1 MiB pieces, gets a second Alt+S while it runs,
# then a close request.
# The file is 1 GiB of random bytes in a folder under /var/tmp. Every step waits for a state
# (a window, the focus, a file) with a generous deadline, never for a time.
#   close-during-split.sh PROGRAM yes  Alt+F4 (through the window manager), answered Yes: the
#                                      program must end and leave nothing of the run in the
#                                      folder, hidden files included. The time it took is
#                                      printed: a stop within 2 s is measured on a quiet
#                                      machine, not asserted under load.
#   close-during-split.sh PROGRAM no   Alt+C, answered No (the default, with Enter): the split
#                                      must finish with one success box, the window must stay.
#   close-during-split.sh PROGRAM signals
#                                      no close request: once a piece is written, SIGTERM, then
#                                      SIGINT a few ms later, for several delays; each run must
#                                      end with status 0 and leave nothing of the run. Then three
#                                      signals at once must end it by the third.
set -euo pipefail
program=$(realpath "$1")
answer=$2
if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  for tool in xvfb-run xdotool openbox; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh" >&2; exit 1; }
  done
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$program" "$answer"
fi

# On the disk, not in memory: the split must take a while, as a user's would.
work=$(mktemp -d /var/tmp/korvel-close.XXXXXX)
log=$(mktemp)
pid="" wm=""
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null
  [[ -n "$wm" ]] && kill "$wm" 2>/dev/null
  rm -rf "$work" "$log"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  [[ -s "$log" ]] && { echo "the program printed:" >&2; cat "$log" >&2; }
  exit 1
}
now() { date +%s%3N; }  # milliseconds
source "$(dirname "$0")/../../scripts/wait-for.sh"
windows_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
named() { [[ -n "$(windows_named "$1")" ]]; }
not_named() { [[ -z "$(windows_named "$1")" ]]; }
# The box titled like the window, which is not the window itself.
question() { windows_named '^Korvel文件分割器$' | grep -vx "$window" | head -1 || true; }
asking() { [[ -n "$(question)" ]]; }
not_asking() { [[ -z "$(question)" ]]; }
running() { kill -0 "$pid" 2>/dev/null; }
ended() { ! running; }
has_focus() { [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$window" ]]; }
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# The split writes its pieces under temporary names and renames them in at the end.
writing() { ls -A "$work" | grep -q '\.splitting$'; }
# A temporary file holding a whole piece (1 MiB).
piece_written() { [[ -n "$(find "$work" -name '*.splitting' -size +1048575c -print -quit)" ]]; }
left_behind() { ls -A "$work" | grep -vx big.bin || true; }
# Starts the program on the file and a split in 1 MiB pieces; returns once it writes.
start_split() {
  "$program" "$work/big.bin" >"$log" 2>&1 &
  pid=$!
  window=""
  wait_for 60 named '^Korvel文件分割器$' || fail "the window did not appear"
  window=$(windows_named '^Korvel文件分割器$' | head -1)
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  wait_for 30 has_focus || fail "the window did not get the focus"
  # The path came from the command line; Tab, Tab reaches the size box, whose text is selected.
  xdotool key --delay 100 Tab Tab
  xdotool type "1"
  xdotool key alt+s
  wait_for 60 writing || fail "the split did not start"
}
# Waits for the program to end and sets status to its exit status.
reap() {
  wait_for "$1" ended || fail "the program still runs $1 s after $2"
  status=0
  wait "$pid" || status=$?
  pid=""
}

head -c $((1024 * 1048576)) /dev/urandom >"$work/big.bin"  # 1 GiB

openbox >/dev/null 2>&1 &
wm=$!
wait_for 60 wm_up || fail "the window manager did not start"
if [[ "$answer" == signals ]]; then
  # A second signal while the engine stops and removes its files must change nothing.
  hit=0
  for delay in 1 5 15; do
    start_split
    wait_for 60 piece_written || fail "no piece was written"
    sent=${EPOCHREALTIME/./}  # microseconds
    kill -TERM "$pid"
    # Waiting in the shell itself: starting sleep alone can take longer than the delay.
    while ((${EPOCHREALTIME/./} - sent < delay * 1000)); do :; done
    # A zombie has ended already: the second signal then came too late to test anything.
    read -r _ _ state _ <"/proc/$pid/stat"
    alive="had ended"
    [[ "$state" != Z ]] && alive="still ran" && hit=$((hit + 1))
    kill -INT "$pid"
    gap=$(((${EPOCHREALTIME/./} - sent) / 1000))
    reap 60 "SIGTERM"
    echo "SIGINT ${gap} ms after SIGTERM, when the program $alive: exit status $status"
    left=$(left_behind)
    [[ -z "$left" ]] ||
      fail "$(wc -l <<<"$left") files of the run left behind: $(head -3 <<<"$left" | tr '\n' ' ')"
    ((status == 0)) || fail "exit status $status after SIGTERM, then SIGINT ${gap} ms later"
  done
  ((hit > 0)) || fail "the program had always ended before the second signal"
  # A third signal ends the program at once, as users expect.
  start_split
  wait_for 60 piece_written || fail "no piece was written"
  kill -TERM "$pid"
  kill -INT "$pid"
  kill -HUP "$pid"
  reap 30 "three signals"
  echo "three signals at once: exit status $status"
  ((status == 128 + 1 || status == 128 + 2 || status == 128 + 15)) ||
    fail "exit status $status, not ended by the third signal"
  echo "PASSED: a second signal changed nothing, a third ended the program"
  exit 0
fi

start_split
xdotool key alt+s  # a second Alt+S while it runs

if [[ "$answer" == yes ]]; then
  xdotool key alt+F4
  wait_for 30 asking || fail "no question after Alt+F4"
  box=$(question)
  echo "asked: $(xdotool getwindowname "$box")"
  start=$(now)
  xdotool key alt+y
  wait_for 30 ended || fail "the program still runs 30 s after Yes"
  stopped=$(now)
  status=0
  wait "$pid" || status=$?
  pid=""
  elapsed=$((stopped - start))
  echo "the program ended with status $status, $elapsed ms after Yes"
  left=$(left_behind)
  [[ -z "$left" ]] ||
    fail "$(wc -l <<<"$left") files of the run left behind: $(head -3 <<<"$left" | tr '\n' ' ')..."
  ((status == 0)) || fail "exit status $status"
  echo "PASSED: nothing of the run is left"
else
  xdotool key alt+c
  wait_for 30 asking || fail "no question after Alt+C"
  echo "asked: $(xdotool getwindowname "$(question)")"
  xdotool key Return  # No is the default
  wait_for 30 not_asking || fail "the question stayed open"
  running || fail "the program ended on No"
  wait_for 240 named '^文件分割成功$' || fail "no success box"
  not_named '^文件分割失败$' || fail "a failure box showed too"
  xdotool key Return
  wait_for 30 not_named '^文件分割成功$' || fail "the success box stayed"
  named '^Korvel文件分割器$' || fail "the window has gone"
  [[ -e "$work/big.bin.FLF" && -e "$work/big.bin.1023" && ! -e "$work/big.bin.1024" ]] ||
    fail "the set is not complete: $(ls "$work" | tail -3 | tr '\n' ' ')"
  # A second outcome box, modal, would take this Alt+C, and the program would not end.
  xdotool key alt+c
  wait_for 30 ended || fail "Alt+C did not close the idle window: $(windows_named '^文件分割')"
  status=0
  wait "$pid" || status=$?
  pid=""
  ((status == 0)) || fail "exit status $status"
  echo "PASSED: the split finished and the window stayed until closed"
fi
