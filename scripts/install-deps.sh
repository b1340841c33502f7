#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the program need;
# with "fuzz", also what scripts/fuzz.sh needs (clang with libFuzzer); with
# "windows", what scripts/build-windows.sh needs (Wine, NSIS, the source
# packages' build tools, and a deb-src entry so `apt-get source` works).
# Idempotent: installs only what is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config lld
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libgl-dev
    libcurl4-openssl-dev libssl-dev openssl libexpat1-dev
    p7zip-full xdg-utils poppler-utils
    python3 clang-format ccache
    postgresql
    g++-mingw-w64-x86-64-posix
)
if [ "${1:-}" = fuzz ]; then
    packages+=(clang libclang-rt-14-dev)
fi
if [ "${1:-}" = windows ]; then
    packages+=(wine wine64 wine64-tools nsis dpkg-dev xz-utils perl tcl xvfb imagemagick x11-utils)
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

# A deb-src twin of every binary source the machine already uses, so the
# sources come from the same archive (and snapshot) as the installed packages.
enable_deb_src() {
    if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 1
    fi
    local tmp
    tmp=$(mktemp)
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        sed -E 's/^Types:.*/Types: deb-src/' "$f" >>"$tmp"
        echo >>"$tmp"
    done
    if [ -e /etc/apt/sources.list ]; then
        sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list >"$tmp.list"
        $SUDO install -m 644 "$tmp.list" /etc/apt/sources.list.d/orvq-deb-src.list
        rm -f "$tmp.list"
    fi
    if [ -s "$tmp" ]; then
        $SUDO install -m 644 "$tmp" /etc/apt/sources.list.d/orvq-deb-src.sources
    fi
    rm -f "$tmp"
    echo "Enabled deb-src entries beside the machine's apt sources"
}
if [ "${1:-}" = windows ] && enable_deb_src; then
    $SUDO apt-get update -qq
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
