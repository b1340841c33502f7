#!/usr/bin/env bash
# Builds the benchmarks (release) and runs each one; they print their figures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVQ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"
for bench in "$build"/bin/bench_*; do
    echo "== $(basename "$bench")"
    "$bench"
done
