#!/usr/bin/env bash
# Compiles every Windows source (src/**/*_win.cpp, tests/support/*_win.cpp,
# and so the headers they include) with the MinGW-w64 cross compiler, syntax
# only, against the installed Qt headers. Each file gets the include paths
# and definitions CMake gives the library it belongs to, read from the
# optimised build tree's compile commands for the files beside it. Fails
# when one does not compile.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build-trees.sh

compiler=x86_64-w64-mingw32-g++-posix
configure_tree "$RELEASE_BUILD"

# The flags of the file's _unix.cpp twin, else of another file in its folder:
# one argument a line.
flags_for() {
    python3 - "$RELEASE_BUILD/compile_commands.json" "$PWD/$1" <<'PY'
import json, os, shlex, sys

commands, source = sys.argv[1], sys.argv[2]
folder = os.path.dirname(source)
twin = source[: -len("_win.cpp")] + "_unix.cpp"
entries = [e for e in json.load(open(commands)) if os.path.dirname(e["file"]) == folder]
entries.sort(key=lambda e: e["file"] != twin)
if not entries:
    sys.exit(f"no compiled file beside {source} to take the flags from")
args = entries[0].get("arguments") or shlex.split(entries[0]["command"])
keep, take_next = [], False
for arg in args[1:]:
    if take_next:
        keep.append(arg.replace("/mkspecs/linux-g++", "/mkspecs/win32-g++"))
        take_next = False
    elif arg in ("-isystem", "-I", "-D"):
        keep.append(arg)
        take_next = True
    elif arg.startswith(("-D", "-I", "-std=")):
        keep.append(arg)
print("\n".join(keep))
PY
}

failed=()
mapfile -t sources < <(find src tests/support -name '*_win.cpp' | sort)
for source in "${sources[@]}"; do
    mapfile -t flags < <(flags_for "$source")
    if "$compiler" -fsyntax-only -Wall -Wextra "${flags[@]}" "$source"; then
        echo "ok      $source"
    else
        echo "FAILED  $source"
        failed+=("$source")
    fi
done

echo "Windows syntax check: $((${#sources[@]} - ${#failed[@]})) of ${#sources[@]} files compile"
[ ${#failed[@]} -eq 0 ]
