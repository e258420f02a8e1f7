#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the built package into a fresh Debian 12 root made with debootstrap, as a user's
# machine would get it (apt-get, the package's own dependencies and nothing else, beside the
# file-type tools every desktop has), checks that a file manager would open a list file (.FLF)
# with it (xdg-mime), starts the program there from its menu entry's Exec line on a virtual
# display, saves a screenshot in screenshots/installed.png, closes the window with its close
# button, opens a list file the way a double-click does (screenshots/installed-open.png), then
# removes the package and shows that no file of it is left.
#   scripts/install-test.sh [package, default build/deb/korvel-splitter_<version>_amd64.deb]
# Needs root and Debian's package mirror: the one this machine's apt uses, or KORVEL_MIRROR and
# KORVEL_SECURITY_MIRROR. Takes several minutes. Not run by CI: scripts/package.sh builds the
# package.
set -euo pipefail
cd "$(dirname "$0")/.."

deb=${1:-build/deb/korvel-splitter_$(dpkg-parsechangelog -S Version)_amd64.deb}
[[ -f "$deb" ]] || { echo "no package at $deb: run scripts/package.sh first" >&2; exit 1; }
# The mirrors this machine's apt already uses (deb822 sources first, then the one-line list).
apt_uris=$({
  cat /etc/apt/sources.list.d/*.sources 2>/dev/null | sed -n 's/^URIs: *//p'
  grep -hE '^deb ' /etc/apt/sources.list 2>/dev/null | awk '{print $2}'
} || true)
mirror=${KORVEL_MIRROR:-$(grep -v security <<<"$apt_uris" | head -1)}
security=${KORVEL_SECURITY_MIRROR:-$(grep security <<<"$apt_uris" | head -1)}
[[ -n "$mirror" ]] || { echo "no Debian mirror known: set KORVEL_MIRROR" >&2; exit 1; }
package=$(dpkg-deb -f "$deb" Package)

needed=(debootstrap debian-archive-keyring xvfb xdotool imagemagick devscripts)
missing=()
for p in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

root=$(mktemp -d /var/tmp/korvel-root.XXXXXX)
chmod 755 "$root"   # it becomes /, which every user must be able to enter
xvfb=""
program=""
cleanup() {
  [[ -n "$program" ]] && kill "$program" 2>/dev/null
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null
  umount "$root/dev/pts" "$root/dev/shm" "$root/proc" 2>/dev/null || true
  # Never delete through a mount that is still there.
  if findmnt -rn -o TARGET | grep -q "^$root/"; then
    echo "$root still has mounts; left in place" >&2
  else
    rm -rf "$root"
  fi
}
trap cleanup EXIT
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

echo "== a fresh Debian 12 root in $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 || {
  tail -n 20 "$root.debootstrap.log"
  exit 1
}
rm -f "$root.debootstrap.log"
{
  echo "deb $mirror bookworm main"
  echo "deb $mirror bookworm-updates main"
  [[ -z "$security" ]] || echo "deb $security bookworm-security main"
} >"$root/etc/apt/sources.list"
mount -t proc proc "$root/proc"
mkdir -p "$root/dev/shm" "$root/dev/pts"
mount -t tmpfs shm "$root/dev/shm"
# A private instance of its own, so apt can log through a terminal without the machine's ones.
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
ln -sf pts/ptmx "$root/dev/ptmx"
in_root apt-get update -q >/dev/null
in_root useradd --create-home user
# What any desktop brings to tell file types and the programs that open them.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  shared-mime-info desktop-file-utils xdg-utils libfile-mimeinfo-perl >/dev/null

echo "== apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_root env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" >"$root/tmp/install.log" 2>&1 || {
  tail -n 30 "$root/tmp/install.log"
  exit 1
}
grep -E "^(Setting up $package|[0-9]+ upgraded)" "$root/tmp/install.log"
in_root dpkg-query -W -f='${Package} ${Version} ${db:Status-Abbrev}\n' "$package"
in_root dpkg -L "$package" >"$root/tmp/files"
echo "$(grep -c . "$root/tmp/files") paths installed; conffiles: $(in_root dpkg-query -W -f='${Conffiles}' "$package" | grep -c . || true)"
# Debian 12 cannot mark programs for control-flow protection, and the fortified build leaves no
# checked call for hardening-check to count (scripts/package.sh checks the build flags instead).
hardening-check --nocfprotection --nofortify "$root/usr/bin/korvel-splitter"

echo "== list files (.FLF) and the program that opens them"
as_user() {
  chroot --userspec="$(in_root id -u user):$(in_root id -g user)" "$root" env -i \
    PATH=/usr/bin:/bin HOME=/home/user LANG=C.UTF-8 "$@"
}
mkdir -p "$root/home/user/set"
head -c 3000000 /dev/urandom >"$root/home/user/set/a.rar"
printf 'flf2a$ 1 1 1 -1 1\n' >"$root/home/user/set/standard.flf"
touch "$root/home/user/set/b.rar.FLF"
chroot "$root" chown -R user:user /home/user/set
filetype=$(as_user xdg-mime query filetype /home/user/set/b.rar.FLF)
echo "b.rar.FLF: $filetype"
other=$(as_user xdg-mime query filetype /home/user/set/standard.flf)
echo "standard.flf: $other"
opener=$(as_user xdg-mime query default application/x-korvel-split-list)
echo "opened with: $opener"
mime_ok=1
[[ "$filetype" == application/x-korvel-split-list ]] || mime_ok=0
[[ "$other" != application/x-korvel-split-list ]] || mime_ok=0
[[ "$opener" == com.korvel.Splitter.desktop ]] || mime_ok=0

echo "== the menu entry's Exec line, as the user, on a virtual display"
desktop=$(grep '^/usr/share/applications/.*\.desktop$' "$root/tmp/files")
exec_field=$(sed -n 's/^Exec=//p' "$root$desktop")
echo "Exec=$exec_field"
# A launcher started from the menu drops the field codes (%f, %U, ...).
exec_line=$(sed 's/ %[a-zA-Z]//g' <<<"$exec_field")
# The X server runs outside the root and listens on loopback only for this test.
Xvfb -displayfd 4 -screen 0 1024x768x24 -listen tcp -ac 4>"$root/tmp/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [[ -s "$root/tmp/display" ]] && break; sleep 0.1; done
display=127.0.0.1:$(cat "$root/tmp/display")
export DISPLAY=$display
# Starts the program by a command line, as the user, and waits for its window ($program,
# $window).
start_program() {
  as_user env DISPLAY="$display" sh -c "exec $1" >"$root/tmp/program.log" 2>&1 &
  program=$!
  window=""
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name "Korvel" 2>/dev/null | head -1 || true)
    [[ -n "$window" ]] && break
    sleep 0.2
  done
  [[ -n "$window" ]] || { cat "$root/tmp/program.log"; echo "the window did not appear" >&2; exit 1; }
}
# Ends it with its close button, Alt+C.
close_program() {
  xdotool windowfocus --sync "$window" && xdotool key --window "$window" alt+c
  for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
  kill "$program" 2>/dev/null && echo "Alt+C did not close the window" >&2
  wait "$program" || true
  program=""
}
start_program "$exec_line"
echo "window: $(xdotool getwindowname "$window")"
sleep 1
mkdir -p screenshots
import -window root screenshots/installed.png
echo "screenshot: screenshots/installed.png"

# The close button (关 闭, Alt+C) ends the program with status 0.
xdotool windowfocus --sync "$window"
xdotool key --window "$window" alt+c
status=0
wait "$program" || status=$?
program=""
echo "the program ended with status $status after its close button"
[[ -s "$root/tmp/program.log" ]] && { echo "it printed:"; cat "$root/tmp/program.log"; }

echo "== a double-click on a list file: %f is the file"
# A set split from the window of the installed program, as the user.
start_program "$(sed 's|%f|/home/user/set/a.rar|' <<<"$exec_field")"
xdotool windowfocus --sync "$window"
sleep 0.5
xdotool key --delay 100 Tab Tab
xdotool type 1
xdotool key alt+s
box=""
for _ in $(seq 100); do
  box=$(xdotool search --onlyvisible --name '^文件分割成功$' 2>/dev/null | head -1 || true)
  [[ -n "$box" ]] && break
  sleep 0.2
done
[[ -n "$box" ]] || { echo "the split from the window did not finish" >&2; exit 1; }
# With no window manager, the focus goes nowhere by itself: give it to each window in turn.
sleep 0.5
xdotool windowfocus --sync "$box" && xdotool key Return
sleep 0.5
close_program
start_program "$(sed 's|%f|/home/user/set/a.rar.FLF|' <<<"$exec_field")"
sleep 1
import -window root screenshots/installed-open.png
echo "screenshot of the merge panel it opens on: screenshots/installed-open.png"
close_program

echo "== apt-get remove $package"
in_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q "$package" |
  grep -E "^(Removing|[0-9]+ upgraded)"
echo "package state: $(in_root dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || echo "unknown to dpkg")"
left=0
while read -r path; do
  [[ "$path" == /. ]] && continue
  if [[ -d "$root$path" && ! -L "$root$path" ]]; then
    # A folder may stay when another package owns it too.
    in_root dpkg-query -S "$path" >/dev/null 2>&1 && continue
  elif [[ ! -e "$root$path" && ! -L "$root$path" ]]; then
    continue
  fi
  echo "left behind: $path"
  left=$((left + 1))
done <"$root/tmp/files"
echo "files of $package left after removal: $left"
((mime_ok)) || echo "list files are not opened with the program" >&2
((left == 0 && status == 0 && mime_ok))
