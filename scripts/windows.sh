#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds what Windows users get, in a release build (preset windows-release), into
# build/windows-dist/ (run scripts/setup.sh windows first):
#   korvel-splitter.exe                            the program: static, stripped
#   korvel.exe                                     the command line, a console program: the same
#   korvel-splitter-<version>-windows-x64.zip      both, LICENSE.txt and the licence texts of
#                                                  the runtime libraries they carry
#   korvel-splitter-<version>-setup-x64.exe        the installer
# Then checks them: the programs import nothing but Windows' own libraries, korvel.exe is a
# console program and the window is not, the zip and the installer carry a licence notice for
# every part of the compiler's runtime they link, the zip's korvel.exe splits and merges back a
# file under wine, and the zip's program alone shows its window under wine on a virtual display
# and ends with status 0 on Alt+C.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in x86_64-w64-mingw32-g++-posix makensis rsvg-convert icotool; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh windows" >&2; exit 1; }
done
version=$(sed -n 's/^project(KorvelSplitter VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cmake --preset windows-release
cmake --build --preset windows-release --target windows-packages
dist=build/windows-dist
rm -rf "$dist"
mkdir -p "$dist"
files=(korvel-splitter.exe korvel.exe "korvel-splitter-$version-windows-x64.zip"
       "korvel-splitter-$version-setup-x64.exe")
for file in "${files[@]}"; do
  cp "build/windows-release/dist/$file" "$dist/"
done

# Static: no DLL of the compiler's runtime beside the programs. Subsystem 2 is a window
# program, 3 a console one: korvel.exe must be started from a console and write to it.
for exe in korvel-splitter.exe:2 korvel.exe:3; do
  name=${exe%:*}
  headers=$(x86_64-w64-mingw32-objdump -p "$dist/$name")
  for dll in $(sed -n 's/^\tDLL Name: //p' <<<"$headers"); do
    case "${dll,,}" in
      kernel32.dll | advapi32.dll | user32.dll | gdi32.dll | comctl32.dll | comdlg32.dll | \
        shell32.dll | ole32.dll | oleacc.dll | bcrypt.dll | msvcrt.dll) ;;
      *) echo "$name imports $dll, which Windows does not have" >&2; exit 1 ;;
    esac
  done
  subsystem=$(awk '$1 == "Subsystem" { print $2 + 0 }' <<<"$headers")
  [[ "$subsystem" == "${exe#*:}" ]] || { echo "$name has subsystem $subsystem, not ${exe#*:}" >&2; exit 1; }
done

# A licence notice in the zip and the installer for every part of the compiler's runtime that
# the programs link, told by the unstripped programs' symbols.
cmake -D NM=x86_64-w64-mingw32-nm \
  -D "EXECUTABLES=build/windows-release/win32/korvel-splitter.exe;build/windows-release/cli/korvel.exe" \
  -D ZIP="$dist/korvel-splitter-$version-windows-x64.zip" \
  -D INSTALLER=win32/installer/korvel-splitter.nsi -D WORK=build/windows-release/notices \
  -P tests/CheckNotices.cmake

# The zip's program alone, under wine: its window shows, Alt+C ends it with status 0.
if command -v xvfb-run >/dev/null && command -v wine >/dev/null && command -v xprop >/dev/null; then
  check=$(mktemp -d /var/tmp/korvel-zip.XXXXXX)
  trap 'rm -rf "$check"' EXIT
  (cd "$check" && unzip -q "$OLDPWD/$dist/korvel-splitter-$version-windows-x64.zip")
  bash tests/win32/alone.sh "$check/korvel-splitter-$version-windows-x64/korvel-splitter.exe" \
    build/windows-release/wine-window
  # The zip's korvel.exe as a script runs it, in the same prefix: a split and a merge back.
  korvel=$check/korvel-splitter-$version-windows-x64/korvel.exe
  head -c 3000000 /dev/urandom >"$check/data.bin"
  export WINEPREFIX=$PWD/build/windows-release/wine-window WINEDEBUG=-all
  wine "$korvel" split "Z:$check/data.bin" 1 </dev/null &&
    wine "$korvel" merge "Z:$check/data.bin.FLF" "Z:$check/back.bin" </dev/null &&
    cmp "$check/data.bin" "$check/back.bin" ||
    { echo "the zip's korvel.exe did not split and merge back a file under wine" >&2; exit 1; }
  wineserver -k || true
  echo "korvel.exe from the zip: split and merged back a file under wine"
else
  echo "xvfb-run, wine or xprop is missing: the zip's program was not tried (scripts/setup.sh windows)"
fi

echo "In $dist:"
(cd "$dist" && ls -l "${files[@]}" | awk '{ printf "  %-45s %9d bytes\n", $9, $5 }')
(cd "$dist" && unzip -l "korvel-splitter-$version-windows-x64.zip")
