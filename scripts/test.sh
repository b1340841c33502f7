#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in both build
# trees: the sanitizer build (AddressSanitizer + UBSan) and the optimised
# build users run; then compiles the Windows sources with the MinGW-w64
# cross compiler. Every phase runs even when one before it failed; the
# summary at the end gives each phase's result and the total time, and any
# failure fails.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build-trees.sh

scripts/install-deps.sh

results=()
status=0

# run_tests TREE LABEL: builds TREE and runs its tests; records CTest's summary.
run_tests() {
    local tree=$1 label=$2 log="$1/ctest.log" started=$SECONDS
    echo
    echo "==== $label in $tree: building"
    if ! build_tree "$tree"; then
        results+=("$label in $tree: BUILD FAILED [$((SECONDS - started)) s]")
        status=1
        return
    fi
    echo "==== $label in $tree: running the tests"
    local passed=true
    (cd "$tree" && ctest --output-on-failure --parallel "$(nproc)") 2>&1 | tee "$log" ||
        passed=false
    local summary
    summary=$(grep -E 'tests passed|No tests were found' "$log" | tail -1 || true)
    results+=("$label in $tree: ${summary:-no CTest summary} [$((SECONDS - started)) s]")
    if [ "$passed" != true ]; then
        results+=("    failed: $(grep -E '^\s+[0-9]+ - ' "$log" | awk '{print $3}' | xargs)")
        status=1
    fi
}

run_tests "$SANITIZE_BUILD" "Sanitizer build (AddressSanitizer + UBSan, Debug)"
run_tests "$RELEASE_BUILD" "Optimised build (-O2, as users run it)"

echo
echo "==== Windows sources: MinGW-w64 syntax check"
started=$SECONDS
if scripts/check-windows.sh; then
    results+=("Windows syntax check: passed [$((SECONDS - started)) s]")
else
    results+=("Windows syntax check: FAILED [$((SECONDS - started)) s]")
    status=1
fi

echo
echo "==== Summary"
printf '%s\n' "${results[@]}"
echo "Total: $SECONDS s"
exit $status
