#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program read as a screen reader reads it (reader.py): on a virtual display with a window
# manager, a session bus of its own and the accessibility bus on it, with a reader's flag set so
# that the program speaks AT-SPI. A 1 GiB file under /var/tmp is split and merged back.
# Usage: reader.sh PROGRAM
# Exits 77 (skipped), saying why, where AT-SPI cannot start.
set -euo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
launcher=/usr/libexec/at-spi-bus-launcher
skip() { echo "SKIPPED: $*"; exit 77; }
if [[ -z "${KORVEL_IN_SESSION:-}" ]]; then
  for tool in xvfb-run dbus-run-session xdotool openbox; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh)"
  done
  [[ -x "$launcher" ]] || skip "at-spi-bus-launcher is missing (at-spi2-core, scripts/setup.sh)"
  "$python" -c 'import pyatspi' 2>/dev/null || skip "pyatspi is missing (python3-pyatspi, scripts/setup.sh)"
  KORVEL_IN_SESSION=1 exec xvfb-run -a -s "-screen 0 1024x768x24" \
    dbus-run-session -- "$0" "$@"
fi

work=$(mktemp -d /var/tmp/korvel-reader.XXXXXX)
wm="" bus=""
cleanup() {
  [[ -n "$wm" ]] && kill "$wm" 2>/dev/null
  # The launcher's own bus and registry are in its session: all of it goes.
  [[ -n "$bus" ]] && kill -- -"$bus" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
truncate -s 1G "$work/big.bin"

setsid "$launcher" --launch-immediately >/dev/null 2>&1 &
bus=$!
source "$here/../../scripts/wait-for.sh"
bus_up() { "$python" -c 'import pyatspi; pyatspi.Registry.getDesktop(0)' >/dev/null 2>&1; }
wait_for 20 bus_up || skip "the accessibility bus did not start"
# What a screen reader sets as it starts, and what makes Qt speak AT-SPI.
"$python" - <<'PY' || skip "the accessibility bus takes no screen reader"
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
              GLib.Variant("(ssv)", ("org.a11y.Status", "ScreenReaderEnabled",
                                     GLib.Variant("b", True))),
              None, Gio.DBusCallFlags.NONE, -1, None)
PY
openbox >/dev/null 2>&1 &
wm=$!
"$python" "$here/reader.py" "$program" "$work"
