#!/usr/bin/env bash
# Sets everything up and runs the whole test suite; needs no display (the
# in-process tests use Qt's offscreen platform, the end-to-end tests bring
# their own X server):
#   1. clang-format, shellcheck and clang-tidy over the sources, reuse lint
#      over every file,
#   2. the unit and in-process tests in an optimised build against Qt 6,
#      warnings as errors, and the benchmarks' shortest trial there, so that
#      they cannot rot; the Debian package made from that build and tried
#      unpacked (label package),
#   3. every test, end to end included, against Qt 5 under AddressSanitizer
#      and UndefinedBehaviorSanitizer, leaks at the programs' real exits
#      reported,
#   4. the fuzzers (Qt 6): their corpora replayed, then a few seconds each,
#   5. when the Windows kit is built: the Windows build, its packages and its
#      unit tables under Wine (scripts/build-windows.sh).
# The builds are the CMake presets release, asan and fuzz, in build/<preset>
# (ORVA_BUILD_ROOT chooses another folder than build/); each names its Qt
# major (ORVA_QT_MAJOR), so both build from the same sources every run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
builds=${ORVA_BUILD_ROOT:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)
cd "$root"
"$root/scripts/setup-debian.sh"

# Each step with the minutes and seconds since the start, so that CI's log
# shows where the time goes.
say() {
    printf '== [%d:%02d] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"
}

build() {
    say "$1: configure and build"
    cmake --preset "$1" -B "$builds/$1" >/dev/null
    cmake --build "$builds/$1" -j "$jobs"
}

say "clang-format, shellcheck, reuse"
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run -Werror
shellcheck -x -P SCRIPTDIR scripts/*.sh scripts/lib/*.sh tests/scripts/*.sh cmake/toolchains/*.sh packaging/linux/*.sh .ci/run
reuse lint --quiet || reuse lint # every file's licence declared (.reuse/dep5), its text in LICENSES/

build release
say "clang-tidy"
run-clang-tidy -quiet -j "$jobs" -p "$builds/release" \
    "^$root/(platform|gui|orva|pack|installer|chainlaunch|packsetup|etipack|samples)/" >"$builds/clang-tidy.log" 2>&1 ||
    { grep -E -A3 'warning:|error:' "$builds/clang-tidy.log"; exit 1; }
say "release (Qt 6): unit and in-process tests"
ctest --test-dir "$builds/release" -L fast -j "$jobs" --output-on-failure --no-tests=error
say "release: the benchmarks' shortest trial (every row gets a number)"
rm -rf "$builds/release/bench-app"
cmake --install "$builds/release" --prefix "$builds/release/bench-app" >/dev/null
# Its table is left out: its sizes are too small for the targets.
LC_ALL=C.UTF-8 PYTHONDONTWRITEBYTECODE=1 python3 bench/run_bench.py "$builds/release/bench-app" "$builds/release" \
    --smoke >/dev/null
say "release: the Debian package, checked and tried unpacked in a temporary root"
ctest --test-dir "$builds/release" -L package --output-on-failure --no-tests=error

build asan
say "asan (Qt 5): every test"
ctest --test-dir "$builds/asan" -j "$jobs" --output-on-failure --no-tests=error

build fuzz
say "fuzz (Qt 6): corpora, then short runs"
ctest --test-dir "$builds/fuzz" -j "$jobs" --output-on-failure --no-tests=error
# The Windows programs under Wine, only where the kit is built already: its
# first build takes about half an hour on two idle cores, beyond this
# command's budget.
if "$root/scripts/build-windows-kit.sh" --cached >/dev/null; then
    say "Linux suites passed; the Windows build and its suite"
    ORVA_BUILD_ROOT=$builds "$root/scripts/build-windows.sh"
else
    say "windows: left out, no Windows kit in ${XDG_CACHE_HOME:-~/.cache}/orva-windows (scripts/build-windows.sh builds it)"
fi
say "all suites passed"
