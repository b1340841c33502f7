#!/usr/bin/env bash
# Builds the program (the optimised build) and starts it on its embedded defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build-trees.sh

scripts/install-deps.sh
build_tree "$RELEASE_BUILD"
exec "$RELEASE_BUILD/bin/orvq" "$@"
