#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes the list-file and piece-file readers with libFuzzer for a fixed time each, starting
# from seeds written by the format encoders and the corpus kept in tests/fuzz/corpus. New
# inputs that reach new code are merged into that corpus; a crash is kept in tests/fuzz/crashes
# so the test suite replays it from then on.
#   scripts/fuzz.sh [seconds per target, default 300]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
bash scripts/setup.sh
dpkg-query -W -f='${Status}' clang-14 libclang-rt-14-dev 2>/dev/null | grep -c "ok installed" | grep -q 2 ||
  { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends clang-14 libclang-rt-14-dev; }

cmake --preset fuzz
cmake --build --preset fuzz
cmake --build --preset dev --target engine_tests >/dev/null 2>&1 || { cmake --preset dev && cmake --build --preset dev --target engine_tests; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
KORVEL_SEED_DIR="$work/seeds" build/dev/tests/engine/engine_tests --gtest_filter='FuzzSeeds.*' >/dev/null

for target in list piece; do
  mkdir -p "$work/$target" tests/fuzz/corpus/$target tests/fuzz/crashes/$target
  echo "== $target: ${seconds}s"
  build/fuzz/tests/fuzz/$target/${target}_fuzzer "$work/$target" "$work/seeds/$target" \
      tests/fuzz/corpus/$target -max_total_time="$seconds" -max_len=4096 \
      -artifact_prefix=tests/fuzz/crashes/$target/ -print_final_stats=1 2>&1 |
    grep -E "^(#[0-9]+.*DONE|stat::|==|SUMMARY|artifact)" || true
  # Keep a minimal corpus: only inputs that add coverage.
  mkdir -p "$work/merged-$target"
  build/fuzz/tests/fuzz/$target/${target}_fuzzer -merge=1 "$work/merged-$target" \
      tests/fuzz/corpus/$target "$work/$target" "$work/seeds/$target" >/dev/null 2>&1
  rm -f tests/fuzz/corpus/$target/*
  cp "$work/merged-$target"/* tests/fuzz/corpus/$target/
  echo "corpus: $(ls tests/fuzz/corpus/$target | wc -l) files"
done
