#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# korvel split of a large file gets Ctrl+C (SIGINT) once its first piece is on the disk: it must
# end with status 1, saying so, and leave nothing of the run in the folder, hidden files
# included. korvel-interrupted.sh KORVEL
set -euo pipefail
korvel=$(realpath "$1")
source "$(dirname "$0")/../../scripts/wait-for.sh"
work=$(mktemp -d /var/tmp/korvel-interrupted.XXXXXX)
pid=""
trap 'if [[ -n "$pid" ]]; then kill "$pid" 2>/dev/null || true; fi; rm -rf "$work"' EXIT
head -c $((512 * 1048576)) /dev/urandom >"$work/big.bin"
"$korvel" split "$work/big.bin" 1 2>"$work/err.txt" &
pid=$!
piece_written() { find "$work" -name '.*.splitting' -size +1023k | grep -q .; }
wait_for 60 piece_written || { echo "FAILED: no piece was ever written" >&2; exit 1; }
kill -INT "$pid"
status=0
wait "$pid" || status=$?
[[ $status -eq 1 ]] || { echo "FAILED: status $status after Ctrl+C" >&2; exit 1; }
grep -q '操作已停止' "$work/err.txt" || { echo "FAILED: said $(cat "$work/err.txt")" >&2; exit 1; }
left=$(cd "$work" && ls -A | grep -v -x -e big.bin -e err.txt || true)
[[ -z "$left" ]] || { echo "FAILED: left $left" >&2; exit 1; }
echo "stopped with status 1, nothing left"
