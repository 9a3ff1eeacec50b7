#!/bin/sh
# The emulator of cmake/toolchains/mingw-w64.cmake: runs a Windows program
# under Wine with the kit's DLLs (Qt's, the MinGW runtime, libarchive) on
# WINEPATH. A CMake list cannot carry WINEPATH's ';' to the shell, hence this.
#   wine-run.sh <kit> <program.exe> [arguments...]
# With "-" for the kit, the program finds only the DLLs beside it.
# Wine hands QT_* variables on only as WINEQT_*; Qt writes its messages and
# QtTest its report to the debugger unless told that there is a console.
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
exec wine "$@"
