# The two build trees and their one configuration each, sourced by every
# script so none of them reconfigures a tree differently from another.
#   build-release   the optimised build users run (-O2; what it asserts is
#                   set in CMakeLists.txt), with tests and benchmarks
#   build-sanitize  Debug with AddressSanitizer and UBSan, for the tests
#   build-fuzz      clang with libFuzzer, AddressSanitizer and UBSan, for the
#                   fuzz targets alone (scripts/fuzz.sh)

RELEASE_BUILD=build-release
SANITIZE_BUILD=build-sanitize
FUZZ_BUILD=build-fuzz

# configure_tree TREE: (re)configures TREE with its configuration.
configure_tree() {
    local options
    case "$1" in
    "$RELEASE_BUILD") options=(-DCMAKE_BUILD_TYPE=Release -DORVQ_SANITIZE=OFF -DORVQ_BUILD_BENCH=ON) ;;
    # Benchmarks are measured in the optimised build only.
    "$SANITIZE_BUILD") options=(-DCMAKE_BUILD_TYPE=Debug -DORVQ_SANITIZE=ON -DORVQ_BUILD_BENCH=OFF) ;;
    "$FUZZ_BUILD")
        options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVQ_FUZZ=ON -DORVQ_BUILD_BENCH=OFF
            -DCMAKE_CXX_COMPILER=clang++)
        ;;
    *)
        echo "configure_tree: unknown build tree $1" >&2
        return 1
        ;;
    esac
    cmake -S . -B "$1" -G Ninja "${options[@]}" $(compiler_cache_option) -DORVQ_BUILD_TESTS=ON >/dev/null
}

# Rebuilds of the same sources in another checkout hit the compiler cache,
# precompiled headers included (ccache needs the sloppiness for them). The
# settings travel with the launcher, so any build of the tree has them.
compiler_cache_option() {
    if command -v ccache >/dev/null; then
        local launcher="env;CCACHE_BASEDIR=$PWD"
        launcher+=";CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
        echo "-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher;ccache"
    fi
}

# build_tree TREE: configures TREE and builds everything in it.
build_tree() {
    configure_tree "$1" && cmake --build "$1" --parallel "$(nproc)"
}
