#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz) with clang, libFuzzer, AddressSanitizer
# and UBSan in build-fuzz, then runs each for SECONDS (default 60), one after
# the other, at low priority. A run starts from the target's seeds and kept
# findings in tests/data/fuzz/<target> and grows a working corpus in
# build-fuzz/corpus/<target>; it stops at the first input that crashes,
# trips a sanitizer, throws what it must not or fails a fuzz check, and
# writes it to build-fuzz/findings/<target>/. Ends with one line a target
# (time run, executions, findings; units it found slow, replayed) and fails
# when any target found one.
#
#     scripts/fuzz.sh [SECONDS] [TARGET...]      targets: checksreport, qbxml, ...
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build-trees.sh

seconds=${1:-60}
shift || true
if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for source in tests/fuzz/fuzz_*.cpp; do
        name=$(basename "$source" .cpp)
        targets+=("${name#fuzz_}")
    done
fi

scripts/install-deps.sh fuzz
configure_tree "$FUZZ_BUILD"
cmake --build "$FUZZ_BUILD" --parallel "$(nproc)" --target "${targets[@]/#/fuzz_}"

summary=()
status=0
for target in "${targets[@]}"; do
    corpus="$FUZZ_BUILD/corpus/$target"
    findings="$FUZZ_BUILD/findings/$target"
    log="$FUZZ_BUILD/fuzz_$target.log"
    mkdir -p "$corpus" "$findings"
    echo "==== $target: fuzzing for $seconds s (log $log)"
    started=$SECONDS
    before=$(find "$findings" -type f | sort)
    # A hang is an input that takes a minute: at the lowest priority on a
    # machine shared with builds, parses of a millisecond have waited 12 s.
    nice -n 19 "$FUZZ_BUILD/fuzz/bin/fuzz_$target" "$corpus" "tests/data/fuzz/$target" \
        -max_total_time="$seconds" -timeout=60 -report_slow_units=30 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1 || true
    executions=$(awk '/stat::number_of_executed_units/ {print $2}' "$log" | tail -1)
    new=$(comm -13 <(echo "$before") <(find "$findings" -type f | sort) | sed '/^$/d')
    # A unit libFuzzer calls slow (over 30 s) is no finding by itself: on a
    # busy machine the lowest priority waits that long. Replayed once here,
    # it shows whether the parse is slow.
    slow=$(echo -n "$new" | grep '/slow-unit-' || true)
    new=$(echo -n "$new" | grep -v '/slow-unit-' || true)
    found=$(echo -n "$new" | grep -c . || true)
    summary+=("$target: $((SECONDS - started)) s, ${executions:-?} executions, $found finding(s)")
    if [ "$found" -gt 0 ]; then
        summary+=("    $new")
        status=1
    fi
    for unit in $slow; do
        replay=$(date +%s%N)
        "$FUZZ_BUILD/fuzz/bin/fuzz_$target" "$unit" >/dev/null 2>&1 || true
        replay=$((($(date +%s%N) - replay) / 1000000))
        summary+=("    slow while fuzzing, replayed in $replay ms: $unit")
    done
done

echo
echo "==== Fuzzing summary"
printf '%s\n' "${summary[@]}"
exit $status
