#!/bin/sh
# Runs one of the Windows build's programs under Wine, quietly, in the build's own Wine prefix:
# the windows preset's CMAKE_CROSSCOMPILING_EMULATOR, so ctest and gtest_discover_tests use it.
#   cmake/wine-run.sh WINEPREFIX PROGRAM.exe [ARGUMENTS...]
set -u
export WINEDEBUG=-all WINEPREFIX="$1"
shift
# Wine's server and its helper processes (services.exe and the like) are started here, apart
# from the caller's streams, and stay a minute after the last program ends. Started by the
# program itself, a helper would inherit ctest's pipe and hold each test until the server ends,
# three seconds after it.
wineserver -p60 </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
exec wine "$@"
