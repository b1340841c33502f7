#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UBSan in a build
# tree of its own, and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=build-sanitize
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVQ_SANITIZE=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)"
