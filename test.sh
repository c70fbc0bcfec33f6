#!/usr/bin/env bash
# Builds Quenlor with warnings as errors and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake --preset ci
cmake --build --preset ci
export LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
ctest --preset ci
