#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# A set split by the Linux build merges byte for byte in the Windows build, and the other way
# round, checksum lists included; the checksum lists both builds write for the same pieces are
# the same bytes. Run by ctest in the windows build, under its wine session.
#   cross-build.sh LINUX_CLI WINDOWS_CLI
# Exits 77 (skipped) when the Linux build's command-line front has not been built.
set -eu
linux=$1
windows=$2
[ -x "$linux" ] || { echo "no Linux build at $linux: build the dev preset first"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows"
# A Chinese name, so that the list file carries a GBK path and the checksum list UTF-8 names.
name="源文件 a.bin"
head -c $((3 * 1048576 + 12345)) /dev/urandom >"$work/linux/$name"
cp "$work/linux/$name" "$work/windows/$name"
# Under wine the machine's root is drive Z:.
z() { printf 'Z:%s' "$1"; }

"$linux" split "$work/linux/$name" 1
wine "$windows" split "$(z "$work/windows/$name")" 1

wine "$windows" merge "$(z "$work/linux/$name.FLF")" "$(z "$work/linux/merged by windows")"
cmp "$work/linux/$name" "$work/linux/merged by windows"
"$linux" merge "$work/windows/$name.FLF" "$work/windows/merged by linux"
cmp "$work/windows/$name" "$work/windows/merged by linux"

# The same pieces, the same lines; the list files differ only by the source path they record.
for piece in 00 001 002 003; do
  cmp "$work/linux/$name.$piece" "$work/windows/$name.$piece"
done
head -n 4 "$work/linux/$name.FLF.sha256" >"$work/linux.lines"
head -n 4 "$work/windows/$name.FLF.sha256" >"$work/windows.lines"
cmp "$work/linux.lines" "$work/windows.lines"
if grep -q "$(printf '\r')" "$work/windows/$name.FLF.sha256"; then
  echo "the Windows build wrote carriage returns into the checksum list" >&2
  exit 1
fi
grep -q "  $name.FLF\$" "$work/windows/$name.FLF.sha256"
echo "sets cross between the builds both ways, checksum lists included"
