#!/usr/bin/env bash
# Builds Quenlor with warnings as errors and runs every test suite:
#   1. the Win32 layer, cross-built with MinGW-w64 and run under Wine (and the 32-bit automation
#      host, which goes into the Windows program's folder);
#   2. the Windows program against a Qt for Windows built from Debian's source on first use and
#      cached outside the clone (scripts/build-qt-windows.sh), its install folder and ZIP, and the
#      core and window suites under Wine;
#   3. the program's suites on this system, among them the built Linux and Windows programs driven
#      end to end against the simulated server (the Windows one under Wine with a virtual display).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine \
    xvfb xauth

started=$(date +%s)
step() { echo "== $* ($(( $(date +%s) - started )) s)"; }

# Wine: no display, no debug chatter, no Mono/Gecko prompts, and one server kept alive so each
# test does not pay for starting it.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY
wineserver -p || true  # already running is fine
wine cmd /c exit >/dev/null 2>&1 || true

step "Win32 layer"
cmake --preset win
cmake --build --preset win
cmake --preset win32host
cmake --build --preset win32host
ctest --preset win

step "Qt for Windows"
QUENLOR_QT_WINDOWS="$(./scripts/build-qt-windows.sh | tail -n 1)"
export QUENLOR_QT_WINDOWS

step "Windows program"
cmake --preset windows-mingw
cmake --build --preset windows-mingw
rm -rf build/Quenlor-windows
cmake --install build/windows-mingw
(cd build/windows-mingw && cpack -G ZIP >/dev/null)
ctest --preset windows-mingw

step "Linux program"
cmake --preset ci
cmake --build --preset ci
export LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
ctest --preset ci
step "all suites passed"
# The size of the tests against the code, next to how many there are.
echo "$(ctest --preset ci -N | grep 'Total Tests') in the Linux suites; $(./scripts/test-size.py)"
