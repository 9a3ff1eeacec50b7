#!/usr/bin/env bash
# Sets everything up and runs the whole test suite twice: once in a build with
# warnings as errors, once under AddressSanitizer and UndefinedBehaviorSanitizer;
# then the fuzzers' short runs.
# Needs no display: GUI tests use the offscreen platform, end-to-end tests
# bring their own X server.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
builds=${ORVA_BUILD_ROOT:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)

"$root/scripts/setup-debian.sh"

echo "== formatting"
mapfile -t sources < <(cd "$root" && git ls-files '*.cpp' '*.h' 2>/dev/null || true)
if [ "${#sources[@]}" -gt 0 ]; then
    (cd "$root" && clang-format --dry-run -Werror "${sources[@]}")
fi

run_suite() {
    local name=$1
    shift
    local dir=$builds/$name
    echo "== $name: configure and build"
    cmake -S "$root" -B "$dir" -DORVA_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    echo "== $name: tests"
    ctest --test-dir "$dir" --output-on-failure --no-tests=error
}

run_suite test-release -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite test-asan -DCMAKE_BUILD_TYPE=Debug -DORVA_SANITIZE=ON
# The fuzzers (clang, libFuzzer): each replays its committed corpus, then
# fuzzes for a few seconds (scripts/run-fuzzers.sh is the long run).
CC=clang CXX=clang++ run_suite test-fuzz -DORVA_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug
echo "== all suites passed"
