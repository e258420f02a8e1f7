#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, checks the formatting, builds everything and runs every test: once in
# the normal build and once under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# Windows build's under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset dev
cmake --build --preset dev --target check-format
for preset in dev asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
bash scripts/setup.sh windows
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
