#!/usr/bin/env bash
# The long fuzzing run: builds the fuzzers with clang into build/fuzz, then
# fuzzes every target for the given seconds (default 600) into a work corpus
# build/fuzz-work/<target>/, seeded from tests/fuzz/corpus/<target>/, which
# stays as it is. Prints per target the executions and the crashes found;
# crashing inputs go to build/fuzz-crashes/<target>/. Targets run side by
# side, ORVA_FUZZ_JOBS at a time (default: the number of cores).
# Exit status 1 when any target found a crash.
set -euo pipefail

seconds=${1:-600}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
builds=${ORVA_BUILD_ROOT:-$root/build}
mkdir -p "$builds" && builds=$(cd "$builds" && pwd) # the install fuzzer changes directory
dir=${ORVA_FUZZ_BUILD_DIR:-$builds/fuzz}
work=$builds/fuzz-work
crashes=$builds/fuzz-crashes
jobs=${ORVA_FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
targets=(pack install)

echo "== fuzz: configure and build ($dir)"
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DORVA_FUZZ=ON -DORVA_WERROR=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"

# Input files are rewritten per input: in memory, not on disk.
if [ -d /dev/shm ]; then export TMPDIR=/dev/shm; fi
export LC_ALL=C.UTF-8 ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fuzz_one() {
    local target=$1
    local program=$dir/tests/fuzz/fuzz_$target
    mkdir -p "$work/$target" "$crashes/$target"
    mapfile -t options <"$dir/tests/fuzz/fuzz_$target.options"
    "$program" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$crashes/$target/" "$work/$target" "$root/tests/fuzz/corpus/$target" \
        >"$work/$target.log" 2>&1 || true
}

echo "== fuzz: ${#targets[@]} targets, $seconds s each, $jobs at a time"
running=0
for target in "${targets[@]}"; do
    fuzz_one "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

found=0
printf '%-16s %12s %8s %9s\n' target executions crashes corpus
for target in "${targets[@]}"; do
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log" | tail -1)
    count=$(find "$crashes/$target" -type f | wc -l)
    corpus=$(find "$work/$target" -type f | wc -l)
    printf '%-16s %12s %8s %9s\n' "$target" "${runs:-?}" "$count" "$corpus"
    found=$((found + count))
done
echo "logs: $work/<target>.log; crashing inputs: $crashes/<target>/"
[ "$found" -eq 0 ]
