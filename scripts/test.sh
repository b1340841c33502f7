#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in both build
# trees: the sanitizer build (AddressSanitizer + UBSan) and the optimised
# build users run; then the Windows build: when the cross-built libraries of
# scripts/build-windows.sh are there and current, it builds build-windows,
# runs its tests under Wine and checks the installer; else it says it skipped
# and compiles the Windows sources with the MinGW-w64 cross compiler, syntax
# only. (The libraries take longer to build cold than this command may.)
# Every phase runs even when one before it failed; the summary at the end
# gives each phase's result and the total time, and any failure fails.
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
    local built=$SECONDS
    echo "==== $label in $tree: running the tests"
    local passed=true
    (cd "$tree" && ctest --output-on-failure --parallel "$(nproc)") 2>&1 | tee "$log" ||
        passed=false
    local summary
    summary=$(grep -E 'tests passed|No tests were found' "$log" | tail -1 || true)
    results+=("$label in $tree: ${summary:-no CTest summary} [$((SECONDS - started)) s: build $((built - started)) s, tests $((SECONDS - built)) s]")
    if [ "$passed" != true ]; then
        results+=("    failed: $(grep -E '^\s+[0-9]+ - ' "$log" | awk '{print $3}' | xargs)")
        status=1
    fi
}

run_tests "$SANITIZE_BUILD" "Sanitizer build (AddressSanitizer + UBSan, Debug)"
run_tests "$RELEASE_BUILD" "Optimised build (-O2, as users run it)"

echo
echo "==== Windows build under Wine"
started=$SECONDS
if scripts/build-windows.sh --check >/dev/null 2>&1; then
    log=build-windows/ctest.log
    if ! scripts/build-windows.sh; then
        results+=("Windows build under Wine: BUILD FAILED [$((SECONDS - started)) s]")
        status=1
    else
        passed=true
        (cd build-windows && ctest --output-on-failure --parallel "$(nproc)") 2>&1 | tee "$log" ||
            passed=false
        summary=$(grep -E 'tests passed|No tests were found' "$log" | tail -1 || true)
        results+=("Windows build under Wine: ${summary:-no CTest summary} [$((SECONDS - started)) s]")
        if [ "$passed" != true ]; then
            results+=("    failed: $(grep -E '^\s+[0-9]+ - ' "$log" | awk '{print $3}' | xargs)")
            status=1
        fi
        started=$SECONDS
        if cmake --build build-windows --target orvq_installer >/dev/null &&
            scripts/test-windows-installer.sh; then
            results+=("Windows installer under Wine: passed [$((SECONDS - started)) s]")
        else
            results+=("Windows installer under Wine: FAILED [$((SECONDS - started)) s]")
            status=1
        fi
    fi
else
    results+=("Windows build under Wine: skipped: toolchain not built (scripts/build-windows.sh)")
    echo "skipped: toolchain not built (scripts/build-windows.sh); syntax check instead"
    if scripts/check-windows.sh; then
        results+=("Windows syntax check: passed [$((SECONDS - started)) s]")
    else
        results+=("Windows syntax check: FAILED [$((SECONDS - started)) s]")
        status=1
    fi
fi

echo
echo "==== Summary"
printf '%s\n' "${results[@]}"
echo "Total: $SECONDS s"
exit $status
