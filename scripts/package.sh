#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages from debian/ with dpkg-buildpackage (source and binaries), checks
# them with lintian and fails on any lintian error or warning. Everything lands in build/deb/:
#   korvel-splitter_<version>_<arch>.deb         the window
#   korvel_<version>_<arch>.deb                  the command line, without Qt or fonts
#   korvel-splitter-dbgsym_<version>_<arch>.deb  their debugging symbols
#   korvel-dbgsym_<version>_<arch>.deb
#   korvel-splitter_<version>.dsc, .tar.xz        the source package
#   korvel-splitter_<version>_<arch>.changes, .buildinfo
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh packaging

# What the build itself needs comes from debian/control's Build-Depends.
if ! dpkg-checkbuilddeps 2>/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get build-dep -y --no-install-recommends ./
fi

out=build/deb
source=$(dpkg-parsechangelog -S Source)
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
changes=../${source}_${version}_${arch}.changes

# dpkg-buildpackage leaves its build folders in the tree; take them away however it ends.
trap 'debian/rules clean >/dev/null 2>&1 || true' EXIT

rm -rf "$out"
mkdir -p "$out"
echo "== dpkg-buildpackage"
# -J2: at most two compile jobs (DEB_BUILD_OPTIONS parallel=2).
dpkg-buildpackage -us -uc -J2 >"$out/build.log" 2>&1 || {
  tail -n 60 "$out/build.log"
  echo "dpkg-buildpackage failed; the whole log is in $out/build.log" >&2
  exit 1
}
grep -E "^dpkg-(deb|source): " "$out/build.log" || true

# dpkg-buildpackage writes beside the tree; the .changes lists every file it made.
dcmd mv "$changes" "$out/"
changes=$out/$(basename "$changes")
ls -l "$out"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"; debian/rules clean >/dev/null 2>&1 || true' EXIT
for package in korvel-splitter korvel; do
  dpkg-deb -x "$out/${package}_${version}_${arch}.deb" "$unpacked/$package"
done

echo "== korvel's dependencies"
# The command line is for machines without a display: nothing of Qt or of the fonts.
depends=$(dpkg-deb -f "$out/korvel_${version}_${arch}.deb" Depends)
echo "Depends: $depends"
if grep -Eiq 'qt|font|libgl' <<<"$depends"; then
  echo "korvel depends on the window's libraries or fonts" >&2
  exit 1
fi

echo "== hardening-check"
# Control-flow protection cannot be had on Debian 12: its C library's start files carry no CET
# marking, so the linker drops the marking from every program.
# Fortified functions are checked by the flags themselves: hardening-check looks for a checked
# call (__memcpy_chk and the like) in the program, and finds none when the compiler can prove
# every buffer's size, as it can in this program. That every source was compiled with
# _FORTIFY_SOURCE is what the build log shows.
if grep -E '(c\+\+|g\+\+).* -c .*/(engine|windowlogic|cli|ui)/' "$out/build.log" |
  grep -v -- '-D_FORTIFY_SOURCE=2' | grep -q .; then
  echo "a source was compiled without -D_FORTIFY_SOURCE=2" >&2
  exit 1
fi
hardening-check --nocfprotection --nofortify "$unpacked/korvel-splitter/usr/bin/korvel-splitter" \
  "$unpacked/korvel/usr/bin/korvel"

echo "== menu entry, Dolphin's entry, AppStream metadata and manual pages, as installed"
window=$unpacked/korvel-splitter/usr/share
desktop-file-validate "$window/applications/com.korvel.Splitter.desktop"
# A KDE service menu is a desktop file of type Service, which the validator knows only for
# applications' keys: its complaints about MimeType and Actions, which a service menu needs,
# are expected; any other (a field code, an action without its group) fails the build.
complaints=$(desktop-file-validate "$window/kio/servicemenus/com.korvel.Splitter.Split.desktop" |
  grep -Ev 'key "(MimeType|Actions)" is present in group "Desktop Entry", but the type is "Service"' ||
  true)
[[ -z "$complaints" ]] || { echo "$complaints" >&2; exit 1; }
# --no-net: the checks must not depend on reaching the homepage.
appstreamcli validate --no-net "$window/metainfo/com.korvel.Splitter.metainfo.xml"
for page in "$unpacked"/korvel-splitter/usr/share/man/{,zh_CN/}man1/korvel-splitter.1.gz \
  "$unpacked"/korvel/usr/share/man/{,zh_CN/}man1/korvel.1.gz; do
  lexgrog "$page"
  # Any complaint of man or groff while formatting the page fails the build.
  complaints=$(LC_ALL=C.UTF-8 man --warnings -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [[ -z "$complaints" ]] || { echo "$complaints" >&2; exit 1; }
done

echo "== lintian"
# --fail-on error,warning: any error or warning fails the build; info tags are shown, and those
# that do not apply are overridden with a reason in debian/*.lintian-overrides.
status=0
lintian --display-info --show-overrides --fail-on error,warning "$changes" \
  >"$out/lintian.txt" 2>&1 || status=$?
cat "$out/lintian.txt"
count() { grep -c "^$1: " "$out/lintian.txt" || true; }
echo "lintian: $(count E) errors, $(count W) warnings, $(count I) info, $(count O) overridden"
exit "$status"
