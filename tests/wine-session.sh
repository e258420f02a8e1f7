#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts or ends the wine session the Windows tests run in (WINEPREFIX and the rest come from
# the test's environment). Everything wine starts is cut off from this script's output, stdin
# included: its session processes live on after the script and would hold ctest's pipes open.
#   wine-session.sh start   start a persistent wineserver and the session (making the prefix
#                           the first time), and say how long that took
#   wine-session.sh stop    end the wineserver and every wine process of the prefix
set -eu

stop() {
  # Fails when no server runs, which is as good.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
}

# Starts a persistent wineserver and the session in it.
begin() {
  if ! wineserver -p </dev/null >/dev/null 2>&1; then
    echo "wineserver -p failed for ${WINEPREFIX}" >&2
    exit 1
  fi
  if ! wine cmd /c exit </dev/null >/dev/null 2>&1; then
    echo "wine could not start its session in ${WINEPREFIX}" >&2
    exit 1
  fi
}

case "${1:-}" in
  start)
    started=$(date +%s%N)
    # A server left by the build's test discovery would end on its own a few seconds later,
    # and "wineserver -p" refuses to start beside it.
    stop
    mkdir -p "$WINEPREFIX"  # wineserver needs the folder; wine fills it the first time
    begin
    # Windows made by the tests (the window that files are dropped on) need no display: wine's
    # null graphics driver keeps them in memory, wherever the tests run. The session's desktop
    # picks the driver when it starts, so a new prefix starts its session a second time.
    if ! wine reg query 'HKCU\Software\Wine\Drivers' /v Graphics </dev/null 2>/dev/null |
        grep -q null; then
      if ! wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
          </dev/null >/dev/null 2>&1; then
        echo "wine could not choose its null graphics driver in ${WINEPREFIX}" >&2
        exit 1
      fi
      stop
      begin
    fi
    # A UNC share for the path tests: wine reaches \\server\share through dosdevices/unc, and
    # \\localhost\c stands for drive C: here as \\localhost\C$ does on Windows.
    mkdir -p "$WINEPREFIX/dosdevices/unc/localhost"
    ln -sfn ../../../drive_c "$WINEPREFIX/dosdevices/unc/localhost/c"
    echo "wine session in ${WINEPREFIX} started in $((($(date +%s%N) - started) / 1000000)) ms"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
