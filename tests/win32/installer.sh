#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows installer under wine, in a fresh prefix on a virtual display:
#   a silent install (/S) puts the program, korvel.exe (not on PATH), the uninstaller and the
#   Start menu entry in place and registers the list files' ProgID (.FLF's program where it had
#   none, and under its OpenWithProgids), "Open with" for any file and the right-click verb
#   that splits any file; "wine start" of a list file opens the merge panel with the list file
#   and the output filled in (the verb did not become its default); the verb's command opens
#   the installed program's split panel with a list file; a second silent install while it runs
#   is refused; a silent uninstall leaves no file of it and no registry key or value naming it;
#   and after a second install, an uninstall leaves the verb where another program took it over.
# Fields are read back with korvel-peek.exe (WM_GETTEXT).
# Usage: installer.sh SETUP PEEK PREFIX   (PREFIX is made anew)
# Exits 77 (skipped) when a tool it needs is not installed.
set -euo pipefail
setup=$1
peek_exe=$(realpath "$2")
prefix=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
if [[ -z "${KORVEL_IN_XVFB:-}" ]]; then
  for tool in xvfb-run xdotool xprop openbox wine wineserver iconv; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing (scripts/setup.sh windows)"; exit 77; }
  done
  if [[ ! -f "$setup" ]]; then
    command -v makensis >/dev/null || { echo "SKIPPED: makensis is missing, so no installer was built (scripts/setup.sh windows)"; exit 77; }
    echo "FAILED: the installer $setup was not built" >&2
    exit 1
  fi
  KORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "$@"
fi
setup=$(realpath "$setup")

source "$here/../../scripts/wine-window.sh"
source "$here/driving.sh"
work=$(mktemp -d /var/tmp/korvel-install.XXXXXX)
pid="" wm="" window=""
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null
  wine_window_end
  [[ -n "$wm" ]] && kill "$wm" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
key_there() { wine reg query "$@" >/dev/null 2>&1; }
key_gone() { ! key_there "$@"; }
# A key's default value: what reg prints after its type, in the console's code page (936).
default_value() {
  wine reg query "$1" /ve 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' |
    sed -n 's/^.*REG_SZ    //p'
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KorvelSplitter'
verb='HKLM\Software\Classes\*\shell\KorvelSplitter.Split'
split_command='"C:\Program Files\Korvel Splitter\korvel-splitter.exe" --split "%1"'
# Ends the program with Alt+C on its window. The window manager may give the window the focus
# late, so the window is activated before each of up to three tries.
end_with_alt_c() {
  for _ in 1 2 3; do
    xdotool windowactivate --sync "$window" 2>/dev/null ||
      xdotool windowfocus --sync "$window" 2>/dev/null || true
    xdotool key alt+c
    wait_for 20 bash -c "! kill -0 $pid 2>/dev/null" && return 0
  done
  fail "Alt+C did not end the program"
}
# Ends the program started here with Alt+C, which must give status 0.
close_with_alt_c() {
  end_with_alt_c
  local status=0
  wait "$pid" || status=$?
  pid=""
  [[ "$status" == 0 ]] || fail "the program ended with status $status"
}

rm -rf "$prefix"
start_wine_desktop "$prefix"
started=$(date +%s)

wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the silent install failed with status $?"
installed="$prefix/drive_c/Program Files/Korvel Splitter"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvel文件分割器.lnk"
for file in korvel-splitter.exe korvel.exe uninstall.exe LICENSE.txt GCC-RUNTIME-LIBRARY-EXCEPTION.txt \
    WINPTHREADS-LICENSE.txt MINGW-W64-RUNTIME-LICENSE.txt FAST-FLOAT-LICENSE.txt; do
  [[ -f "$installed/$file" ]] || fail "not installed: $file"
done
[[ -f "$menu" ]] || fail "no Start menu entry: $(find "$prefix/drive_c/ProgramData" -name '*.lnk')"
classes='HKLM\Software\Classes'
[[ "$(wine reg query "$classes\\.FLF" /ve 2>/dev/null)" == *Korvel.Splitter.List* ]] ||
  fail ".FLF does not name the program's ProgID"
key_there "$classes\\.FLF\\OpenWithProgids" /v Korvel.Splitter.List ||
  fail "the ProgID is not under .FLF's OpenWithProgids"
[[ "$(wine reg query "$classes\\Korvel.Splitter.List\\shell\\open\\command" /ve 2>/dev/null)" == *'korvel-splitter.exe" "%1"'* ]] ||
  fail "the ProgID does not open list files with the program"
key_there "$classes\\*\\OpenWithList\\korvel-splitter.exe" || fail "not in Open with for any file"
key_there "$classes\\Applications\\korvel-splitter.exe\\shell\\open\\command" ||
  fail "no Open with command for the program"
key_there "$uninstall_key" /v UninstallString || fail "no uninstaller in Apps & features"
# The right-click verb of every file: its name, and a command that runs the installed program.
[[ "$(default_value "$verb")" == '用 Korvel文件分割器 分割' ]] ||
  fail "the split verb is named '$(default_value "$verb")'"
[[ "$(default_value "$verb\\command")" == "$split_command" ]] ||
  fail "the split verb runs '$(default_value "$verb\\command")'"
# korvel.exe runs from the installed folder, which is not put on PATH.
[[ "$(wine "C:\\Program Files\\Korvel Splitter\\korvel.exe" --version </dev/null 2>/dev/null)" == 'korvel '* ]] ||
  fail "the installed korvel.exe does not run"
[[ "$(wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH)" != *[Kk]orvel* ]] ||
  fail "the installer put the program on PATH"

# A double-click on a list file: the merge panel with the list file and the output filled in.
list="$work/影片.avi.FLF"
printf 'list' >"$list"
wine start /unix "$list" </dev/null >/dev/null 2>&1 || fail "wine start of the list file failed"
wait_for 60 window_up || fail "no window after wine start of a list file"
window=$(window_named Korvel文件分割器)
wait_for 30 bash -c "[[ \"\$(wine '$peek_exe' visible Frame2 2>/dev/null | tr -d '\r')\" == 1 ]]" ||
  fail "the merge panel does not show"
expect text txtTemplateName "$(winpath "$list")"
expect text txtOutputFile "$(winpath "$work/影片.avi")"
pid=$(pgrep -f 'Korvel Splitter.korvel-splitter.exe' | head -1 || true)
[[ -n "$pid" ]] || fail "the window is not the installed program's"
end_with_alt_c
pid=""

# The verb's command (checked above) on a list file: the installed program's split panel,
# filled in with the list file.
wine "C:\\Program Files\\Korvel Splitter\\korvel-splitter.exe" --split "$(winpath "$list")" \
  </dev/null >/dev/null 2>&1 &
pid=$!
wait_for 60 window_up || fail "the installed program showed no window"
window=$(window_named Korvel文件分割器)
expect visible Frame1 1
expect text txtFileName "$(winpath "$list")"
# Installing over the running copy is refused when no one can be asked.
if wine "$setup" /S </dev/null >/dev/null 2>&1; then
  fail "a silent install over the running program went ahead"
fi
[[ -n "$(window_named Korvel文件分割器)" ]] || fail "the refused install closed the program"
close_with_alt_c

# A silent uninstall: it finishes from a copy of itself in the background.
wine "C:\\Program Files\\Korvel Splitter\\uninstall.exe" /S </dev/null >/dev/null 2>&1 ||
  fail "the silent uninstall failed with status $?"
wait_for 60 test ! -e "$installed" || fail "files are left: $(ls "$installed")"
[[ ! -e "$menu" ]] || fail "the Start menu entry is left"
# Apps & features' key goes last: the verb was handled by then.
wait_for 30 key_gone "$uninstall_key" || fail "the uninstall did not finish"
! key_there "$verb" || fail "the uninstall left the split verb"

# Another program takes the verb's name over: the uninstall must leave it.
wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the second silent install failed with status $?"
theirs='"C:\Other\other.exe" "%1"'
wine reg add "$verb\\command" /ve /d "$theirs" /f >/dev/null 2>&1 || fail "could not change the verb"
wine "C:\\Program Files\\Korvel Splitter\\uninstall.exe" /S </dev/null >/dev/null 2>&1 ||
  fail "the second silent uninstall failed with status $?"
wait_for 60 key_gone "$uninstall_key" || fail "the second uninstall did not finish"
[[ "$(default_value "$verb\\command")" == "$theirs" ]] || fail "the uninstall removed a verb not its own"
wine reg delete "$verb" /f >/dev/null 2>&1 || fail "could not remove the other program's verb"
wine_window_end  # writes the registry out to its files
left=$(grep -i -n 'korvel' "$prefix/system.reg" "$prefix/user.reg" || true)
[[ -z "$left" ]] || fail "the registry still names the program: $left"
grep -q -i '^\[Software\\\\Classes\\\\.FLF\]' "$prefix/system.reg" && fail "the .FLF key is left"
echo "passed in $(($(date +%s) - started)) s"
