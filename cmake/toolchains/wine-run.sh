#!/bin/sh
# The emulator of cmake/toolchains/mingw-w64.cmake: runs a Windows program
# under Wine with the kit's DLLs (Qt's, the MinGW runtime, libarchive) on
# WINEPATH. A CMake list cannot carry WINEPATH's ';' to the shell, hence this.
#   wine-run.sh <kit> <program.exe> [arguments...]
kit=$1
shift
WINEPATH="$kit/qt/bin;$kit/bin${WINEPATH:+;$WINEPATH}" exec wine "$@"
