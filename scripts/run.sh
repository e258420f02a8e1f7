#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset dev
cmake --build --preset dev
if [[ -x build/dev/ui/korvel-splitter ]]; then
  exec build/dev/ui/korvel-splitter "$@"
fi
