#!/usr/bin/env bash
# Builds the program (the optimised build) and opens its window on the demo
# environment: the sandbox payroll service runs beside it while the window is
# open, QuickBooks is the sandbox demo company, and on first start the
# connection settings are the sandbox service's (a connection saved before is
# never replaced). Without a display it runs the batch demo instead.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build-trees.sh

scripts/install-deps.sh
build_tree "$RELEASE_BUILD"
bin="$RELEASE_BUILD/bin"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the batch demo instead of the window."
    exec "$bin/orvq-cli" demo "$@"
fi

ORVQ_PASSWORD=demo "$bin/orvq-cli" connection --if-none-saved \
    --server 127.0.0.1 --user demo --save-password >/dev/null

# The service reads its standard input from this script and stops when the
# script ends in any way; on a normal end or Ctrl+C it is stopped at once.
coproc SANDBOX { exec "$bin/orvq-paysandbox" --watch-stdin; }
sandbox_pid=$SANDBOX_PID
trap 'kill "$sandbox_pid" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
# Its first line is the port it serves on.
if ! read -r -t 60 -u "${SANDBOX[0]}" _; then
    echo "The sandbox payroll service did not start (is port 9943 taken?); the window opens without it." >&2
fi

"$bin/orvq" "$@"
