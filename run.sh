#!/usr/bin/env bash
# Builds Quenlor (debug) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target quenlor
export LANG="${LANG:-C.UTF-8}"
case "${LANG}" in *UTF-8* | *utf8*) ;; *) export LANG=C.UTF-8 ;; esac
exec ./build/dev/src/quenlor "$@"
