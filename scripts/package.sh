#!/usr/bin/env bash
# Builds the Debian package of the program into build/release/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release
cmake --build --preset release --target korvel-splitter
(cd build/release && cpack -G DEB)
ls -l build/release/*.deb
