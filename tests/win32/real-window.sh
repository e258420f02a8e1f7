#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program's real window under wine on a virtual display, driven as a user would
# with xdotool (keys and clicks) and read back with korvel-peek.exe (WM_GETTEXT, since xdotool
# cannot read an edit's text):
#   the window is found by its title; the arrows step along the mode buttons; F4 and Ctrl+O
#   open the path fields' choosers, Escape cancels them; a path typed, Enter, a size of 1,
#   Alt+S split a file of four pieces; the success box is confirmed; a click on the merge mode button, the list file
#   and an output name typed, Enter on the merge button merge it back byte for byte; with a
#   piece gone, Alt+U shows the merge's error box naming it; a close request during a long split
#   asks to stop it: No lets it finish, Yes ends the program with nothing left (the time it
#   took is printed: a stop within 2 s is measured on a quiet machine, not asserted under load).
#   Every step waits for a state (a window, a text, a file), never for a time.
# Usage: real-window.sh PROGRAM PEEK PREFIX   (PREFIX: the wine prefix to use, made if needed)
# Exits 77 (skipped) when a tool it needs is not installed.
set -euo pipefail
program=$(realpath "$1")
peek_exe=$(realpath "$2")
prefix=$3
here=$(cd "$(dirname "$0")" && pwd)
if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  for tool in xvfb-run xdotool xprop openbox wine wineserver iconv; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing (scripts/setup.sh windows)"; exit 77; }
  done
  for font in /usr/share/fonts/truetype/arphic/uming.ttc /usr/share/fonts/truetype/arphic/ukai.ttc \
      /usr/share/wine/fonts/marlett.ttf; do
    [[ -f "$font" ]] || { echo "SKIPPED: $font is missing (scripts/setup.sh windows)"; exit 77; }
  done
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "$@"
fi

source "$here/../../scripts/wine-window.sh"
source "$here/driving.sh"
work=$(mktemp -d /var/tmp/korvel-win32.XXXXXX)
log=$(mktemp)
pid="" wm="" window=""
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null
  wine_window_end
  [[ -n "$wm" ]] && kill "$wm" 2>/dev/null
  rm -rf "$work" "$log"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  [[ -s "$log" ]] && { echo "the program printed:" >&2; tail -20 "$log" >&2; }
  exit 1
}
focus_is() { [[ "$(peek focus)" == "$1" ]]; }
box_shows() { [[ "$(peek box | head -1)" == "$1" ]]; }
box_text() { peek box | tail -n +2; }
box_gone() { ! box_shows "$1"; }
# Types a text into the field that has the focus until the field holds it. xdotool types a
# character the keyboard map lacks (a Chinese one) by mapping it to a spare key for a moment,
# and wine, busy, now and then reads the map before the change and drops the character: the
# text is then selected (End, Shift+Home) and typed again.
type_into() {
  local field=$1 text=$2
  for _ in 1 2 3; do
    xdotool type --delay 80 "$text"
    wait_for 10 peek_says text "$field" "$text" && return 0
    xdotool key End shift+Home
  done
  fail "'$text' typed into $field reads '$(peek text "$field")'"
}
idle() { [[ "$(peek text Text1)" == " 系统空闲！！！" ]]; }
shows() { [[ "$(peek visible "$1")" == 1 ]]; }
# Clicks the middle of a control of the layout, given in twips at 96 dpi (15 twips a pixel).
click() {
  xdotool mousemove --sync --window "$window" $((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15))
  xdotool click 1
}

head -c $((3 * 1048576 + 12345)) /dev/urandom >"$work/数据.bin"
source_path=$(winpath "$work/数据.bin")

start_wine_desktop "$prefix"

started=$(date +%s)
wine "$program" >"$log" 2>&1 &
pid=$!
wait_for 60 window_up || fail "the window did not appear"
window=$(window_named Korvel文件分割器)
echo "window shown after $(($(date +%s) - started)) s"
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
wait_for 30 focus_is Option1 || fail "the focus did not start on Option1 but on $(peek focus)"
expect text Text1 " 系统空闲！！！"
expect text Combo1 "128"
expect visible Frame1 1
expect visible Frame2 0

# The arrows step along the mode buttons, each showing its panel.
xdotool key Right
wait_for 30 focus_is Option2 || fail "Right did not move to Option2"
expect visible Frame2 1
expect visible Frame1 0
xdotool key Left
wait_for 30 focus_is Option1 || fail "Left did not move back to Option1"
expect visible Frame1 1

# F4 in the path field opens its chooser, which Escape cancels, leaving the field as it was.
xdotool key Tab
wait_for 30 focus_is txtFileName || fail "Tab did not reach txtFileName"
xdotool key F4
wait_for 60 box_shows 打开需要被分割的文件 || fail "F4 did not open the chooser"
xdotool key Escape
wait_for 30 box_gone 打开需要被分割的文件 || fail "Escape did not close the chooser"
expect text txtFileName ""
wait_for 30 focus_is txtFileName || fail "the focus did not come back to txtFileName"

# Split: type the path, Enter to the size, which is selected, 1, Alt+S.
type_into txtFileName "$source_path"
xdotool key Return
wait_for 30 focus_is Combo1 || fail "Enter in txtFileName did not move to Combo1"
expect text txtFileName "$source_path"
xdotool type 1
expect text Combo1 "1"
xdotool key alt+s
wait_for 60 box_shows 文件分割成功 || fail "no success box after Alt+S"
[[ "$(box_text)" == "文件分割完成！！！" ]] || fail "the split's box says: $(box_text)"
xdotool key Return
wait_for 30 box_gone 文件分割成功 || fail "the success box did not close"
wait_for 30 idle || fail "the status line is not idle"
[[ -f "$work/数据.bin.FLF" ]] || fail "no list file: $(ls "$work")"
pieces=$(find "$work" -name '数据.bin.0*' | wc -l)
[[ "$pieces" == 4 ]] || fail "expected 4 pieces, found $pieces: $(ls "$work")"

# Merge: a click on the merge mode button, Tab, the list file, Enter, the output, Enter moves
# to the merge button, Enter presses it. Ctrl+O in the list file's field opens its chooser.
click 1200 1080 1095 420
wait_for 30 shows Frame2 || fail "the click did not show the merge panel"
expect visible Frame1 0
xdotool key Tab
wait_for 30 focus_is txtTemplateName || fail "Tab did not reach txtTemplateName"
xdotool key ctrl+o
wait_for 60 box_shows 打开要合并的文件的首个文件 || fail "Ctrl+O did not open the chooser"
xdotool key Escape
wait_for 30 box_gone 打开要合并的文件的首个文件 || fail "Escape did not close the chooser"
wait_for 30 focus_is txtTemplateName || fail "the focus did not come back to txtTemplateName"
# Alt+S belongs to the hidden split panel now: typed before the path's last character, it
# neither splits nor types, and the path reads as typed once that character has arrived.
list_path=$(winpath "$work/数据.bin.FLF")
type_into txtTemplateName "${list_path%?}"
xdotool key alt+s
xdotool type "${list_path: -1}"
expect text txtTemplateName "$list_path"
box_shows 文件分割成功 || box_shows 文件分割失败 && fail "Alt+S split from the merge panel"
xdotool key Return
wait_for 30 focus_is txtOutputFile || fail "Enter did not move to txtOutputFile"
type_into txtOutputFile "$(winpath "$work/合并.bin")"
xdotool key Return
wait_for 30 focus_is cmdUnsplit || fail "Enter did not move to cmdUnsplit"
xdotool key Return
wait_for 60 box_shows 文件合并成功 || fail "no success box after Enter on the merge button"
[[ "$(box_text)" == "文件合并完成！！！" ]] || fail "the merge's box says: $(box_text)"
xdotool key Return
wait_for 30 box_gone 文件合并成功 || fail "the success box did not close"
cmp "$work/数据.bin" "$work/合并.bin" || fail "the merged file differs from the source"
expect text txtOutputFile "$(winpath "$work/合并.bin")"

# A piece gone: Shift+Tab back to the output name, which selects it, a new name, Alt+U.
missing=$(find "$work" -name '数据.bin.0*' | sort | sed -n 2p)
rm "$missing"
xdotool key shift+Tab
wait_for 30 focus_is txtOutputFile || fail "Shift+Tab did not reach txtOutputFile"
type_into txtOutputFile "$(winpath "$work/缺片.bin")"
xdotool key alt+u
wait_for 60 box_shows 文件合并失败 || fail "no error box for the missing piece"
said=$(box_text)
[[ "$said" == *"缺少 1 份"* && "$said" == *"$(basename "$missing")"* ]] ||
  fail "the error box does not name the missing piece: $said"
xdotool key Return
wait_for 30 box_gone 文件合并失败 || fail "the error box did not close"
[[ ! -e "$work/缺片.bin" ]] || fail "a failed merge left its output"
wait_for 30 idle || fail "the status line is not idle"

# A close request during a long split asks whether to stop it. A click on 关 闭, answered No
# (the default, with Enter), lets the split finish with one success box, after an Alt+S that
# changes nothing; Alt+F4, answered Yes, ends the program with status 0 within 2 s of the answer
# and leaves nothing of the run. The files are sparse: 1 GiB to read, written to the disk.
writing() { ls -A "$work" | grep -q '\.splitting$'; }
asked() { box_shows Korvel文件分割器 && [[ "$(box_text)" == "正在分割文件，要停止并关闭窗口吗？" ]]; }
ended() { ! kill -0 "$pid" 2>/dev/null; }
split_big() {
  truncate -s 1G "$work/$1"
  click 120 1080 1095 420
  wait_for 30 shows Frame1 || fail "the click did not show the split panel"
  xdotool key Tab
  wait_for 30 focus_is txtFileName || fail "Tab did not reach txtFileName"
  type_into txtFileName "$(winpath "$work/$1")"
  expect text Combo1 "1"
  xdotool key alt+s
  wait_for 60 writing ||
    fail "the split of $1 did not start: box '$(peek box)', path '$(peek text txtFileName)'"
}

split_big 大.bin
xdotool key alt+s
click 3960 3720 1095 375
wait_for 30 asked || fail "a click on 关 闭 during the split did not ask: $(peek box)"
xdotool key Return
wait_for 30 box_gone Korvel文件分割器 || fail "Enter did not answer the question"
wait_for 300 box_shows 文件分割成功 || fail "the split did not finish after No: $(peek box)"
xdotool key Return
wait_for 30 box_gone 文件分割成功 || fail "the success box did not close"
box_shows 文件分割成功 && fail "a second success box came"
wait_for 30 idle || fail "the status line is not idle after the split"
[[ "$(find "$work" -name '大.bin.*' | wc -l)" == 1026 ]] ||
  fail "the split after No did not write its 1,024 pieces, list and checksum list"
ended && fail "the program ended after No"

split_big 再.bin
xdotool key alt+F4
wait_for 30 asked || fail "Alt+F4 during the split did not ask: $(peek box)"
xdotool key y
answered=$(date +%s%N)
wait_for 30 ended || fail "the program did not end after Yes"
took=$((($(date +%s%N) - answered) / 1000000))
status=0
wait "$pid" || status=$?
pid=""
[[ "$status" == 0 ]] || fail "the program ended with status $status after Yes"
left=$(ls -A "$work" | grep -v -e '^数据\.bin' -e '^合并\.bin$' -e '^大\.bin' -e '^再\.bin$' || true)
[[ -z "$left" ]] || fail "the stopped split left: $left"
# Measured, not asserted: a stop within 2 s is promised on a quiet machine, not a loaded one.
echo "ended $took ms after Yes; passed in $(($(date +%s) - started)) s"
