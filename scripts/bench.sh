#!/usr/bin/env bash
# Builds the benchmarks (the optimised build) and runs each one; they print their figures.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build-trees.sh

scripts/install-deps.sh
build_tree "$RELEASE_BUILD"
for bench in "$RELEASE_BUILD"/bin/bench_*; do
    echo "== $(basename "$bench")"
    "$bench"
done
