#!/usr/bin/env bash
# Builds the program (release) and starts it on its embedded defaults.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVQ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"
exec "$build/bin/orvq" "$@"
