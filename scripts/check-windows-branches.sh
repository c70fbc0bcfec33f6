#!/usr/bin/env bash
# Compiles the Windows branches of the program's Qt-side platform code (ODBC driver choice, the
# Windows adapters, the automation host's driver) with MinGW-w64 against the Qt headers, syntax
# only: there is no Qt for Windows on this machine to link against, but a Windows-only typo must
# not wait for a Windows developer to find it.
set -euo pipefail
cd "$(dirname "$0")/.."
qt=$(dirname "$(find /usr/include -maxdepth 3 -type d -name QtCore -path '*qt6*' | head -n 1)")
status=0
for f in src/platform/*.cpp src/platform/odbc/*.cpp src/app/ProgramState.cpp; do
    if ! out=$(x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -DUNICODE -D_UNICODE \
        -DNOMINMAX -Isrc -I"$qt" -I"$qt/QtCore" -I"$qt/QtNetwork" "$f" 2>&1); then
        echo "$out" | grep -E 'error' | head -20
        echo "Windows build of $f: FAILED"
        status=1
    fi
done
[ $status -eq 0 ] && echo "Windows branches of the platform code compile."
exit $status
