#!/usr/bin/env bash
# Builds ORVA in Release into build/bench, installs the app folder there and
# runs every benchmark (bench/run_bench.py), printing one table of ratios
# against references measured in the same run. Takes about a quarter of an
# hour, most of it ORVA starting with 100 listed extensions for the load rows;
# --quick takes about three minutes, --smoke (scripts/run-tests.sh runs it) one.
# Not part of the test suite.
#
#   scripts/run-bench.sh [--quick | --smoke] [--only cycle,install,manager,startup,load,log]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${ORVA_BENCH_BUILD_DIR:-$root/build/bench}

"$root/scripts/setup-debian.sh"
for tool in bsdtar cc; do
    command -v "$tool" >/dev/null || { echo "run-bench: $tool is needed" >&2; exit 1; }
done

echo "== configure and build (Release) in $dir" >&2
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DORVA_WERROR=ON -DORVA_BUILD_TESTS=OFF \
    -DORVA_BUILD_SAMPLES=OFF -DORVA_BUILD_BENCH=ON >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
rm -rf "$dir/app"
cmake --install "$dir" --prefix "$dir/app" >/dev/null

echo "== benchmarks" >&2
LC_ALL=C.UTF-8 PYTHONDONTWRITEBYTECODE=1 python3 "$root/bench/run_bench.py" "$dir/app" "$dir" "$@"
