#!/usr/bin/env python3
"""The modules of src/ and the includes between them: a .cpp and its own .h
are one module (src/transfer/walk/objeto), an include of another module's
header is an arrow to it. Prints every cycle of arrows (a group of modules
that reach each other) and exits 1 when there is one; the build's layers
keep arrows from going down to up, this keeps them from going round inside
a layer.

    python3 scripts/ciclos.py [SRC]
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def modules(src):
    found = {}
    for base, _, names in os.walk(src):
        for name in names:
            stem, ext = os.path.splitext(name)
            if ext not in (".cpp", ".h"):
                continue
            path = os.path.join(base, name)
            module = os.path.relpath(os.path.join(base, stem), src)
            found.setdefault(module, []).append(path)
    return found


def arrows(src, found):
    graph = {m: set() for m in found}
    for module, paths in found.items():
        for path in paths:
            with open(path, encoding="latin-1") as f:
                for include in INCLUDE.findall(f.read()):
                    target = os.path.splitext(include)[0]
                    if target in found and target != module:
                        graph[module].add(target)
    return graph


def cycles(graph):
    """The strongly connected groups of more than one module (Tarjan)."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return groups


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    graph = arrows(src, modules(src))
    groups = cycles(graph)
    for group in groups:
        print("cycle of %d modules: %s" % (len(group), ", ".join(group)))
    return 1 if groups else 0


if __name__ == "__main__":
    sys.exit(main())
