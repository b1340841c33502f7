#!/usr/bin/env bash
# Cross-builds OrvQ for 64-bit Windows (x86_64-w64-mingw32, posix threads).
#
# The libraries the program needs (SQLite, OpenSSL, expat, libcurl, Qt 6
# base; not 7-Zip's, see the README) are built from Debian's source packages,
# of the versions this machine has installed where the archive still has
# them, into a prefix outside the tree ($ORVQ_WINDOWS_CACHE, default
# ~/.cache/orvq/windows). Each part is rebuilt only when its inputs change:
# its source version, its recipe (build function and options), the toolchain
# file and the parts it builds on (a stamp file per part). Then the tree
# build-windows is configured against that prefix and built.
#
#   scripts/build-windows.sh              toolchain (as needed), then the tree
#   scripts/build-windows.sh --toolchain [PART...]  the toolchain (those parts) only
#   scripts/build-windows.sh --check      exit 0 when the toolchain is current
#
# Needs the packages of `scripts/install-deps.sh windows`.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
source scripts/build-trees.sh

HOST=x86_64-w64-mingw32
CACHE=${ORVQ_WINDOWS_CACHE:-$HOME/.cache/orvq/windows}
SRC=$CACHE/src
WORK=$CACHE/build
PREFIX=$CACHE/prefix
STAMPS=$CACHE/stamps
TOOLCHAIN=$ROOT/cmake/mingw-w64-x86_64.cmake
JOBS=${ORVQ_JOBS:-2}
WINDOWS_BUILD=${WINDOWS_BUILD:-build-windows}
NICE=(nice -n 10)

mode=${1:-all}
# --toolchain PART...: only those parts (the others must be current to count).
ONLY=("${@:2}")

# source package : the binary package whose installed version it should
# match [: the parts it builds on]
PARTS=(sqlite3:libsqlite3-0 qt6-base:libqt6core6:sqlite3 openssl:libssl3 expat:libexpat1
    curl:libcurl4:openssl)

# The versions worth building, best first: the installed one, then the
# archive's newest sources (a mirror may lack some of them).
candidate_versions() {
    local src=$1 bin=$2 installed available
    installed=$(dpkg-query -W -f='${source:Version}' "$bin" 2>/dev/null || true)
    available=$(apt-cache showsrc "$src" 2>/dev/null | sed -n 's/^Version: //p' |
        sort -u | sort -r -V)
    if [ -z "$available" ]; then
        echo "no source package $src: run scripts/install-deps.sh windows" >&2
        return 1
    fi
    if grep -qxF -- "$installed" <<<"$available"; then
        echo "$installed"
    fi
    grep -vxF -- "$installed" <<<"$available"
}

source_dir() {
    local upstream=${2#*:}
    echo "$SRC/$1-${upstream%-*}"
}

# Prints the version whose source is unpacked (with Debian's patches
# applied), fetching the best one the archive delivers; with --check, only
# looks at what is already unpacked.
fetch() {
    local src=$1 bin=$2 version dir
    for version in $(candidate_versions "$src" "$bin"); do
        if [ -f "$(source_dir "$src" "$version")/.orvq-$version" ]; then
            echo "$version"
            return
        fi
    done
    [ "$mode" != --check ] || return 0
    mkdir -p "$SRC"
    for version in $(candidate_versions "$src" "$bin"); do
        dir=$(source_dir "$src" "$version")
        rm -rf "$dir"
        if (cd "$SRC" && apt-get source -q "$src=$version") >"$CACHE/fetch-$src.log" 2>&1; then
            touch "$dir/.orvq-$version"
            echo "$version"
            return
        fi
        echo "$src $version: not fetched, trying an older one" >&2
    done
    cat "$CACHE/fetch-$src.log" >&2
    return 1
}

# What decides how a part is built: its build function, the helpers and
# options it uses, and the toolchain file (not the rest of this script, so
# editing the tree's part rebuilds no library).
recipe_hash() {
    { declare -f "build_$1" cross_cmake cmake_build_install; declare -p QT_OPTIONS
        cat "$TOOLCHAIN"; } | sha256sum | cut -c1-16
}

# The inputs of each part: a part is rebuilt when one it builds on changed.
declare -A INPUTS

# Runs build_<part> unless the part's stamp matches its inputs (or the part
# is not among those asked for); prints the time taken.
part() {
    local src=$1 bin=$2 deps=$3 version dir inputs started=$SECONDS chain="" d
    version=$(fetch "$src" "$bin")
    if [ -z "$version" ]; then
        printf '%-10s %-28s not fetched\n' "$src" ""
        return 1
    fi
    for d in $deps; do
        chain+="${INPUTS[$d]};"
    done
    inputs="$src=$version recipe=$(recipe_hash "${src//[-0-9]/}") after=$(echo "$chain" | sha256sum | cut -c1-16)"
    INPUTS[$src]=$inputs
    if [ "$(cat "$STAMPS/$src.stamp" 2>/dev/null)" = "$inputs" ]; then
        printf '%-10s %-28s current\n' "$src" "$version"
        return
    fi
    if [ "$mode" = --check ]; then
        printf '%-10s %-28s out of date\n' "$src" "$version"
        return 1
    fi
    if [ ${#ONLY[@]} -gt 0 ] && ! printf '%s\n' "${ONLY[@]}" | grep -qxF "$src"; then
        printf '%-10s %-28s left for another run\n' "$src" "$version"
        return
    fi
    dir=$(source_dir "$src" "$version")
    local log=$CACHE/build-$src.log
    printf '%-10s %-28s building (log: %s)\n' "$src" "$version" "$log"
    # Not in a condition, where errexit would not stop the build at a failure.
    local rc
    set +e
    (
        set -e
        "build_${src//[-0-9]/}" "$dir"
    ) >"$log" 2>&1
    rc=$?
    set -e
    if [ $rc -ne 0 ]; then
        tail -40 "$log" >&2
        echo "$src: build failed (log: $log)" >&2
        return 1
    fi
    mkdir -p "$STAMPS"
    echo "$inputs" >"$STAMPS/$src.stamp"
    printf '%-10s %-28s built in %d s\n' "$src" "$version" $((SECONDS - started))
}

cross_cmake() {
    "${NICE[@]}" cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DORVQ_WINDOWS_PREFIX="$PREFIX" \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=Release "$@"
}

cmake_build_install() {
    "${NICE[@]}" cmake --build "$1" --parallel "$JOBS"
    cmake --install "$1"
}

# SQLite's amalgamation is generated on the host (its generators are host
# programs), then compiled into one DLL.
build_sqlite() {
    local b=$WORK/sqlite3
    rm -rf "$b" && mkdir -p "$b" && cd "$b"
    "$1/configure" --disable-tcl --disable-readline >/dev/null
    "${NICE[@]}" make sqlite3.c sqlite3.h
    mkdir -p "$PREFIX/bin" "$PREFIX/lib" "$PREFIX/include"
    "${NICE[@]}" $HOST-gcc-posix -O2 -shared -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA \
        -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_API='__declspec(dllexport)' sqlite3.c \
        -o "$PREFIX/bin/libsqlite3-0.dll" -Wl,--out-implib,"$PREFIX/lib/libsqlite3.dll.a"
    cp sqlite3.h "$PREFIX/include/"
}

build_openssl() {
    local b=$WORK/openssl
    rm -rf "$b" && mkdir -p "$b" && cd "$b"
    "$1/Configure" mingw64 --cross-compile-prefix=$HOST- CC=gcc-posix --prefix="$PREFIX" \
        --libdir=lib shared no-tests
    "${NICE[@]}" make -j"$JOBS" build_libs
    make install_dev
}

build_expat() {
    local s=$1
    [ -f "$s/CMakeLists.txt" ] || s=$1/expat
    cross_cmake -S "$s" -B "$WORK/expat" -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
        -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_SHARED_LIBS=ON
    # Debian's security patches test "XML_DTD == 1", as its autotools build
    # defines it; CMake's configuration header defines it empty.
    sed -i 's/^#define XML_DTD$/#define XML_DTD 1/' "$WORK/expat/expat_config.h"
    grep -qx '#define XML_DTD 1' "$WORK/expat/expat_config.h"
    cmake_build_install "$WORK/expat"
}

build_curl() {
    cross_cmake -S "$1" -B "$WORK/curl" -DCURL_USE_OPENSSL=ON -DOPENSSL_ROOT_DIR="$PREFIX" \
        -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DBUILD_SHARED_LIBS=ON -DCURL_USE_LIBSSH2=OFF \
        -DUSE_LIBIDN2=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF \
        -DENABLE_MANUAL=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON
    cmake_build_install "$WORK/curl"
}

# Only the modules and plugins the program loads; the host's own Qt tools
# (moc, rcc, uic) generate code. Debian's source lacks wintab (so no tablet
# events) and its bundled SQLite (the driver links the one built above); the
# windows platform plugin needs OpenGL on. TLS is libcurl's job: Qt's network
# module serves only local sockets, so it goes without OpenSSL.
QT_OPTIONS=(
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DFEATURE_tabletevent=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF
    -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_zstd=OFF
    -DFEATURE_jpeg=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF
    -DFEATURE_icu=OFF -DFEATURE_openssl=OFF
    -DFEATURE_printsupport=ON -DFEATURE_testlib=ON -DFEATURE_opengl=ON
)

# The longest part: an interrupted build goes on where it stopped.
build_qtbase() {
    # Qt 6.4.2 builds and enables its DirectWrite font code only with
    # Direct2D, yet the windows platform plugin and the print engine use it
    # whenever DirectWrite is on: without Direct2D they do not link. The font
    # code needs only DirectWrite (colour fonts aside), so it follows that.
    local text=$1/src/gui/text/windows
    sed -i 's/^\(qt_internal_extend_target(Gui CONDITION\) QT_FEATURE_direct2d AND \(QT_FEATURE_directwrite\)/\1 \2/' \
        "$1/src/gui/CMakeLists.txt"
    sed -i 's/^#if QT_CONFIG(directwrite) && QT_CONFIG(direct2d)$/#if QT_CONFIG(directwrite)/' \
        "$text/qwindowsfontdatabase.cpp" "$text/qwindowsfontdatabasebase.cpp"
    if grep -q 'CONDITION QT_FEATURE_direct2d AND QT_FEATURE_directwrite' "$1/src/gui/CMakeLists.txt" ||
        grep -q '^#if QT_CONFIG(directwrite) && QT_CONFIG(direct2d)$' "$text"/qwindowsfontdatabase*.cpp; then
        echo "Qt's DirectWrite conditions have changed: review this recipe" >&2
        return 1
    fi
    cross_cmake -S "$1" -B "$WORK/qt6-base" "${QT_OPTIONS[@]}" \
        -DSQLite3_INCLUDE_DIR="$PREFIX/include" -DSQLite3_LIBRARY="$PREFIX/lib/libsqlite3.dll.a"
    cmake_build_install "$WORK/qt6-base"
}

toolchain() {
    local started=$SECONDS p src bin deps
    for p in "${PARTS[@]}"; do
        IFS=: read -r src bin deps <<<"$p"
        part "$src" "$bin" "${deps//,/ }"
    done
    echo "toolchain: $((SECONDS - started)) s ($PREFIX)"
}

# The program and its tests (run under Wine by ctest).
build_windows_tree() {
    local started=$SECONDS
    cmake -S "$ROOT" -B "$WINDOWS_BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DORVQ_WINDOWS_PREFIX="$PREFIX" -DCMAKE_PREFIX_PATH="$PREFIX" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_BUILD_TYPE=Release -DORVQ_BUILD_TESTS=ON -DORVQ_BUILD_BENCH=OFF \
        $(compiler_cache_option) >/dev/null
    "${NICE[@]}" cmake --build "$WINDOWS_BUILD" --parallel "$JOBS"
    echo "$WINDOWS_BUILD: built in $((SECONDS - started)) s"
}

case "$mode" in
--check) toolchain >/dev/null ;;
--toolchain) toolchain ;;
all)
    toolchain
    build_windows_tree
    ;;
*)
    echo "usage: $0 [--toolchain|--check]" >&2
    exit 2
    ;;
esac
