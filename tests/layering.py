#!/usr/bin/env python3
"""Checks that the include graph of src/ has no arrow going up and no circle.

Usage: layering.py [SRC] [--graph] [--dot FILE]

Every `#include "..."` of src/ names its header by its path from src/ ("platform/files/paths.h"),
so each include line says which layer it reaches into. The layers, lowest first, are LAYERS below:
a folder may include its own headers and those of the folders listed before it, never one listed
after it. The core (project, discovery, conversion, shell) and the window (ui) never include the
engine, which they reach only through the automation layer; only app composes the two.

Test code (a *_test.cpp file, or anything in a testing/ folder) is a leaf: it may include any
layer, and no other code may include it.

Apart from the order, the check looks for circles on its own, between folders and between units
(a unit is a header with its sources: paths.h, paths.cpp, paths_posix.cpp), so a circle is found
even where the order would allow each of its arrows. A circle of units counts where each of them
has code of its own (a source): a header-only helper of a unit's platform files (posixFile.h,
systemAutomation.h) may use the header of the unit it serves.

With --graph it prints the folder graph, top layer first, each folder with those it includes;
with --dot FILE it writes the same in Graphviz's language. Exits 1 on any finding.
"""

import os
import re
import sys

LAYERS = [
    "platform/base",        # the one error class, the system's code pages
    "text",                 # portable text: encodings, Unicode, case folding, rich text, JSON
    "platform/files",       # files, folders, paths, text files
    "platform/system",      # processes, threads, signals, modules, shell open, choosers
    "platform/automation",  # the late-bound object model ("PowerPoint.Application")
    "engine/base",          # bytes, limits, errors and the text model of every reader
    "engine/zip",
    "engine/cfb",
    "engine/crypto",
    "engine/ooxml",
    "engine/ppt",
    "engine/outline",
    "engine",               # the automation server and the reader by content
    "project",
    "discovery",
    "conversion",
    "shell",
    "ui",
    "app",
]
# Folders that must not include these, whatever the order says.
APART = {
    folder: ("engine",)
    for folder in ("project", "discovery", "conversion", "shell", "ui")
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".cpp")


def is_test(path):
    parts = path.split("/")
    return path.endswith("_test.cpp") or "testing" in parts[:-1]


def folder_of(path):
    parts = path.split("/")[:-1]
    if "testing" in parts:
        parts = parts[: parts.index("testing") + 1]
    return "/".join(parts)


def unit_of(path):
    stem = os.path.splitext(path)[0]
    return re.sub(r"_(posix|win32)$", "", stem)


def under(folder, top):
    return folder == top or folder.startswith(top + "/")


def strongly_connected(graph):
    """Tarjan's algorithm; the components with more than one node, or a node on itself."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in graph.get(node, ()):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                component.append(top)
                if top == node:
                    break
            if len(component) > 1 or node in graph.get(node, ()):
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def main(argv):
    src = "src"
    dot = None
    graph = False
    args = list(argv[1:])
    while args:
        arg = args.pop(0)
        if arg == "--dot":
            dot = args.pop(0)
        elif arg == "--graph":
            graph = True
        else:
            src = arg
    src = os.path.abspath(src)

    files = []
    for root, _dirs, names in os.walk(src):
        for name in names:
            if name.endswith(SOURCE_SUFFIXES):
                files.append(os.path.relpath(os.path.join(root, name), src).replace(os.sep, "/"))
    files.sort()
    by_name = {}
    for path in files:
        by_name.setdefault(os.path.basename(path), []).append(path)

    problems = []
    folder_graph, unit_graph = {}, {}
    rank = {layer: i for i, layer in enumerate(LAYERS)}
    for path in files:
        folder = folder_of(path)
        test = is_test(path)
        if not test and folder not in rank:
            problems.append(f"{path}: its folder {folder or 'src'} is not a layer of LAYERS")
        with open(os.path.join(src, path), encoding="utf-8", errors="replace") as text:
            lines = text.readlines()
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            name = match.group(1)
            where = f"{path}:{number}"
            if os.path.isfile(os.path.join(src, name)):
                target = name
            elif name in by_name:
                problems.append(f'{where}: "{name}" without its folder: #include "{by_name[name][0]}"')
                if len(by_name[name]) > 1:
                    continue
                target = by_name[name][0]
            else:
                continue  # not ours: a generated file, or a header of tests/support
            if test:
                continue
            to_folder = folder_of(target)
            if is_test(target):
                problems.append(f"{where}: production code includes test code {target}")
                continue
            if to_folder != folder:
                folder_graph.setdefault(folder, set()).add(to_folder)
            if unit_of(target) != unit_of(path):
                unit_graph.setdefault(unit_of(path), set()).add(unit_of(target))
            if folder in rank and to_folder in rank and rank[to_folder] > rank[folder]:
                problems.append(f"{where}: {folder} includes {target} of the higher layer {to_folder}")
            for apart in APART.get(folder, ()):
                if under(to_folder, apart):
                    problems.append(f"{where}: {folder} must not include {apart} ({target})")

    for component in strongly_connected(folder_graph):
        problems.append("circle between folders: " + " -> ".join(component))
    with_source = {unit_of(path) for path in files if path.endswith(".cpp") and not is_test(path)}
    for component in strongly_connected(unit_graph):
        if all(unit in with_source for unit in component):
            problems.append("circle between units: " + " -> ".join(component))

    if dot:
        with open(dot, "w", encoding="utf-8") as out:
            out.write("digraph layers {\n  rankdir=BT;\n  node [shape=box];\n")
            for folder in sorted(folder_graph):
                for target in sorted(folder_graph[folder]):
                    out.write(f'  "{folder}" -> "{target}";\n')
            out.write("}\n")

    if graph:
        order = sorted(folder_graph, key=lambda folder: -rank.get(folder, len(LAYERS)))
        width = max((len(folder) for folder in order), default=0)
        for folder in order:
            targets = sorted(folder_graph[folder], key=lambda target: -rank.get(target, -1))
            print(f"{folder:<{width}} -> {', '.join(targets)}")

    for problem in problems:
        print(problem)
    checked = sum(len(targets) for targets in folder_graph.values())
    if problems:
        print(f"layering: {len(problems)} findings in {len(files)} files")
        return 1
    print(f"layering: {len(files)} files, {len(folder_graph)} folders with {checked} arrows "
          "between them, none up, no circle")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
