#!/bin/sh
# Runs a Windows program under Wine for CMake and CTest: the test lists read at build time and
# the tests. Helpers that Wine starts for a program (the console host of a program it starts in
# turn, the desktop's explorer) outlive it holding whatever output they inherited, and a caller
# reading that output would wait for them. So the program writes into files, handed on when it
# has ended, and its status is the script's.
out=$(mktemp) && err=$(mktemp) || exit 125
"${QUORVANE_WINE64:-/usr/lib/wine/wine64}" "$@" >"$out" 2>"$err" </dev/null
status=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit "$status"
