# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that drive a window on a virtual display.
#   wait_for SECONDS COMMAND [ARG...]  runs the command every 0.05 s until it succeeds; fails
#                                      once SECONDS have passed and it has had at least ten
#                                      tries a second, so that a slow command (a look at a
#                                      window under wine) gets its tries too

wait_for() {
  local seconds=$1 tries=0 deadline
  shift
  deadline=$((${EPOCHREALTIME/./} + seconds * 1000000))
  until "$@"; do
    tries=$((tries + 1))
    if ((${EPOCHREALTIME/./} >= deadline && tries >= seconds * 10)); then
      return 1
    fi
    sleep 0.05
  done
}
