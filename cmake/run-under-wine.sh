#!/bin/sh
# Runs a Windows program of a test under Wine. Its output goes through a file: the Wine desktop
# process that the program may start inherits the program's output and lives on while other
# programs use the desktop, so a caller reading the output to its end (ctest) would wait for it.
out="$(mktemp)"
wine "$@" >"${out}" 2>&1
status=$?
cat "${out}"
rm -f "${out}"
exit "${status}"
