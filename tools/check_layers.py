#!/usr/bin/env python3
"""Checks that the includes of src/ point one way: each file includes only files
of its own layer or of the layers below it, and no files include each other in
a circle. Prints every offending include with file and line; exits 1 if there
is one, 0 otherwise.

    tools/check_layers.py [SRC_DIR]
"""
import os
import re
import sys

# Bottom to top. A file belongs to the layer of the first folder its path
# (relative to src/) starts with.
LAYERS = [
    ("platform", ["platform/"]),
    ("support", ["support/"]),
    ("records", ["records/"]),
    ("log", ["log/"]),
    ("userdata", ["userdata/"]),
    ("signatures", ["signatures/"]),
    ("outlook", ["outlook/"]),
    ("preview", ["preview/"]),
    ("run", ["run/", "main.cpp"]),
]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(rel):
    for number, (_, prefixes) in enumerate(LAYERS):
        if any(rel == p or rel.startswith(p) for p in prefixes):
            return number
    return None


def resolve(src, rel, name):
    """The included file relative to src, or None for one outside src/: includes
    name a path below src/, or (for the per-OS native_*.h of the platform) a
    file beside the includer or in a per-OS folder."""
    candidates = [name, os.path.join(os.path.dirname(rel), name)]
    candidates += [os.path.join("platform", os_dir, name) for os_dir in ("posix", "win32")]
    for c in candidates:
        if os.path.isfile(os.path.join(src, c)):
            return os.path.normpath(c)
    return None


def main():
    src = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src"))
    files = []
    for root, _, names in os.walk(src):
        for n in names:
            if n.endswith((".h", ".cpp")):
                files.append(os.path.relpath(os.path.join(root, n), src))
    problems = []
    graph = {}
    for rel in sorted(files):
        own = layer_of(rel)
        if own is None:
            problems.append("%s: belongs to no layer" % rel)
            continue
        graph[rel] = []
        with open(os.path.join(src, rel), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = resolve(src, rel, m.group(1))
                if target is None:
                    continue
                graph[rel].append((target, number))
                theirs = layer_of(target)
                if theirs is not None and theirs > own:
                    problems.append('%s:%d: includes "%s" of layer %s above its own (%s)'
                                    % (rel, number, m.group(1), LAYERS[theirs][0], LAYERS[own][0]))

    # Circles: a depth-first walk; an include back to a file still on the path closes one.
    state = {}
    def walk(node, path):
        state[node] = "open"
        path.append(node)
        for target, number in graph.get(node, []):
            if state.get(target) == "open":
                circle = path[path.index(target):] + [target]
                problems.append('%s:%d: includes "%s", closing the circle %s'
                                % (node, number, target, " -> ".join(circle)))
            elif target not in state:
                walk(target, path)
        path.pop()
        state[node] = "done"
    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in state:
            walk(node, [])

    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
