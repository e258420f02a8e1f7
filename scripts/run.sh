#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program (and only the program: the test suites are
# scripts/test.sh's business) and starts it. Arguments go to the program:
#   scripts/run.sh [FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset dev
cmake --build --preset dev --target korvel-splitter
exec build/dev/ui/korvel-splitter "$@"
