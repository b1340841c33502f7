#!/usr/bin/env bash
# How long the test command's two Linux trees take from nothing: builds a
# commit's sources (default HEAD) in a scratch folder with the compiler cache
# off, 2 jobs, then runs each tree's tests as scripts/test.sh does, and prints
# wall and CPU time (user + sys) a phase with the load average around it. CPU
# time is the figure to compare on a shared machine; wall time is noisy.
#     bench/coldbuild.sh [COMMIT]
set -uo pipefail
cd "$(dirname "$0")/.."
commit=${1:-HEAD}
scratch=build-coldbuild
rm -rf "$scratch"
mkdir -p "$scratch"
git archive "$commit" | tar -x -C "$scratch"
cd "$scratch"
source scripts/build-trees.sh
export CCACHE_DISABLE=1

# phase LABEL COMMAND...: runs COMMAND (its output to LABEL.log), prints its times.
phase() {
    local label=$1 load rc
    shift
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    /usr/bin/time -f "%e %U %S" -o "$label.time" "$@" >"$label.log" 2>&1
    rc=$?
    read -r wall user sys <"$label.time"
    printf '%-22s rc=%d wall %7.1f s  cpu %7.1f s (user %.1f, sys %.1f)  load [%s] -> [%s]\n' \
        "$label" "$rc" "$wall" "$(echo "$user + $sys" | bc)" "$user" "$sys" "$load" \
        "$(cut -d' ' -f1-3 /proc/loadavg)"
}
for tree in "$SANITIZE_BUILD" "$RELEASE_BUILD"; do
    configure_tree "$tree"
    phase "$tree-build" cmake --build "$tree" --parallel 2
    phase "$tree-tests" bash -c "cd $tree && ctest --output-on-failure --parallel \$(nproc)"
done
