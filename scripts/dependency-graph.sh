#!/usr/bin/env bash
# Writes the libraries' dependency graph, as the build declares it, into
# docs/ARCHITECTURE.md (the block between the "dependency graph" markers):
# a Mermaid graph of the program's libraries, each arrow a direct link that
# no longer path already implies, and in each library's box what it links
# from outside besides Qt Core (Qt modules, curl, OpenSSL, expat). Run it
# after changing a target_link_libraries line; --check exits 1 when the map
# is out of date.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
cmake -S . -B "$tree" -G Ninja -DORVQ_BUILD_TESTS=OFF -DORVQ_BUILD_BENCH=OFF \
    --graphviz="$tree/deps.dot" >/dev/null
python3 - "$tree/deps.dot" docs/ARCHITECTURE.md "${1:-}" <<'PY'
import re, sys
dot, doc, mode = sys.argv[1], sys.argv[2], sys.argv[3]
labels, edges = {}, []
for line in open(dot, encoding="utf-8"):
    m = re.match(r'\s*"(node\d+)" \[ label = "([^"]+)"', line)
    if m:
        labels[m.group(1)] = m.group(2)
    m = re.match(r'\s*"(node\d+)" -> "(node\d+)"', line)
    if m:
        edges.append((m.group(1), m.group(2)))
# The program's libraries; precompiled-header hosts are build plumbing.
ours = lambda name: name.startswith("orvq_") and not name.startswith("orvq_pch")
deps, outside = {}, {}
for a, b in edges:
    a, b = labels[a], labels[b]
    if not ours(a):
        continue
    deps.setdefault(a, set())
    if ours(b):
        deps[a].add(b)
    # Qt Core is under every library: only the rest is worth a label.
    elif "::" in b and b not in ("Qt6::moc", "Qt6::Core"):
        outside.setdefault(a, set()).add(b.split("::")[-1])
def reach(lib, seen=None):
    seen = set() if seen is None else seen
    for d in deps.get(lib, ()):
        if d not in seen:
            seen.add(d)
            reach(d, seen)
    return seen
lines = ["```mermaid", "graph BT"]
for lib in sorted(deps):
    extra = ", ".join(sorted(outside.get(lib, ())))
    label = lib + (f"<br/><small>{extra}</small>" if extra else "")
    lines.append(f'    {lib}["{label}"]')
for lib in sorted(deps):
    implied = set().union(*(reach(d) for d in deps[lib])) if deps[lib] else set()
    for d in sorted(deps[lib] - implied):
        lines.append(f"    {lib} --> {d}")
lines.append("```")
block = "\n".join(lines)
begin, end = "<!-- dependency graph: scripts/dependency-graph.sh -->", "<!-- end of dependency graph -->"
text = open(doc, encoding="utf-8").read()
if begin not in text or end not in text:
    sys.exit(f"{doc} has no dependency graph markers")
head, rest = text.split(begin, 1)
_, tail = rest.split(end, 1)
new = f"{head}{begin}\n{block}\n{end}{tail}"
if mode == "--check":
    sys.exit(0 if new == text else f"{doc}: the dependency graph is out of date (scripts/dependency-graph.sh)")
open(doc, "w", encoding="utf-8").write(new)
print(f"{doc}: dependency graph of {len(deps)} libraries written")
PY
