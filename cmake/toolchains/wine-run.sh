#!/bin/sh
# The emulator of cmake/toolchains/mingw-w64.cmake: runs a Windows program
# under Wine with the kit's DLLs (Qt's, the MinGW runtime, libarchive) on
# WINEPATH. A CMake list cannot carry WINEPATH's ';' to the shell, hence this.
#   wine-run.sh [--test] <kit> <program.exe> [arguments...]
# With "-" for the kit, the program finds only the DLLs beside it. With
# --test, Wine's processes end with the program: a console host that Wine
# leaves behind would hold CTest's output pipe open (one test at a time).
# Wine hands QT_* variables on only as WINEQT_*; Qt writes its messages and
# QtTest its report to the debugger unless told that there is a console.
test_run=0
if [ "$1" = --test ]; then
    test_run=1
    shift
fi
kit=$1
shift
for name in $(env | sed -n 's/^\(QT_[A-Za-z0-9_]*\)=.*/\1/p'); do
    export "WINE$name=$(printenv "$name")"
done
export WINEQT_FORCE_STDERR_LOGGING=1
if [ "$kit" != - ]; then
    WINEPATH="$kit/qt/bin;$kit/bin${WINEPATH:+;$WINEPATH}"
    export WINEPATH
fi
if [ "$test_run" = 0 ]; then
    exec wine "$@"
fi
wine "$@"
status=$?
wineserver -k 2>/dev/null
exit "$status"
