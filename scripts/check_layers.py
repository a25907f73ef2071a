#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks that the includes between the tree's folders run one way only,
and that each folder links the folders it includes.

Usage: check_layers.py [ROOT]   (ROOT: the source tree, by default the one
                                 this script is in)

Every folder of the product has a line in LAYERS, from the bottom up, with
the folders its sources may include (besides its own). A folder may list
only folders that stand below it, so the folders form a one-way graph. The
test folders (TEST_FOLDERS) may include any folder of the table and the
tests' own headers.

Every `#include "folder/..."` of every source under ROOT is checked (build
folders and hidden folders are skipped). Then the links: a core folder's
`dz_core_library(folder PUBLIC ... PRIVATE ...)` must list exactly the
folders its sources include, so that no link goes stale when an include
goes away; a front-end folder (one without dz_core_library) may link the
libraries (`doroziri_*`, `doroziri::core`) of the folders it may include
and of its own only. Exit status:
    0   every include runs downwards or stays in its folder, and the links
        match
    1   an include runs upwards, sideways to a folder not listed for it, or
        to or from a folder that has no line in the table; the folders'
        includes form a cycle; or a folder links what it does not include
        or includes what it does not link (each finding is printed as
        file:line, or as the folder's CMakeLists.txt)
    2   the table itself is wrong (a folder lists one that is not below it)

A folder of the table that does not exist (yet) is no error.
"""

import os
import re
import sys

# Bottom to top. "*" stands for every folder listed below.
LAYERS = [
    ("core_types", []),
    ("file_io", []),
    ("parallel", []),
    ("rounded_trig", ["core_types"]),
    ("text_io", ["core_types"]),
    ("splines", ["core_types", "rounded_trig"]),
    ("matrices", ["core_types", "parallel"]),
    ("surface", ["core_types", "text_io"]),
    ("preston_wear", ["parallel"]),
    ("working_state", ["core_types", "preston_wear"]),
    ("lap_calc", ["core_types", "parallel", "matrices", "splines"]),
    ("drawing", ["core_types", "rounded_trig", "text_io", "working_state"]),
    ("export", ["core_types", "text_io", "working_state"]),
    ("lap_load", ["core_types", "parallel", "text_io", "splines", "matrices", "surface",
                  "working_state", "lap_calc", "drawing"]),
    ("removal", ["core_types", "text_io", "preston_wear", "working_state", "lap_calc"]),
    ("lap_fit", ["core_types", "removal"]),
    ("lap_template", ["core_types", "rounded_trig", "text_io", "splines", "working_state"]),
    ("lap_design", ["core_types", "working_state", "drawing", "removal", "lap_fit"]),
    ("wear_compare", ["core_types", "text_io", "surface", "working_state", "removal"]),
    ("lap_document", ["core_types", "file_io", "text_io", "working_state", "export", "lap_load",
                      "removal", "lap_template", "lap_design", "wear_compare"]),
    # The Qt drawing and the PNG module: they draw a state they are handed.
    ("render", ["core_types", "file_io", "rounded_trig", "text_io", "working_state", "drawing", "removal",
                "lap_template"]),
    # The front ends: argument parsing and dialogs around the document.
    ("cli", ["core_types", "file_io", "text_io", "working_state", "lap_load", "removal", "preston_wear",
             "lap_template", "lap_document", "render"]),
    ("window", ["core_types", "file_io", "text_io", "working_state", "drawing", "lap_load",
                "removal", "lap_template", "lap_document", "render"]),
]

# Tests, benchmarks and fuzzers may include anything of the table and the
# tests' helpers.
TEST_FOLDERS = ["tests", "bench", "fuzz"]
TEST_MAY_INCLUDE = ["tests"]

SOURCE_SUFFIXES = (".cpp", ".hpp", ".h", ".cc", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def allowed_includes(layers):
    """Folder -> set of folders it may include; raises ValueError when a
    folder lists one that is not below it."""
    position = {}
    allowed = {}
    for index, (folder, may_include) in enumerate(layers):
        if folder in position:
            raise ValueError(f"{folder} has two lines in the table")
        below = [name for name, _ in layers[:index]]
        chosen = set()
        for name in may_include:
            if name == "*":
                chosen.update(below)
            elif name not in below:
                raise ValueError(f"{folder} may include {name}, which is not listed below it")
            else:
                chosen.add(name)
        position[folder] = index
        allowed[folder] = chosen
    everything = set(position)
    for folder in TEST_FOLDERS:
        allowed[folder] = everything | set(TEST_MAY_INCLUDE)
    return allowed


def source_files(root):
    for directory, subdirectories, files in os.walk(root):
        relative = os.path.relpath(directory, root)
        subdirectories[:] = sorted(
            d for d in subdirectories
            if not d.startswith(".") and not (relative == "." and d.startswith("build")))
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(directory, name)


def find_cycle(graph):
    """A list of folders [a, b, ..., a] that include each other in a ring,
    or None. graph: folder -> set of folders it includes."""
    state = {}  # 1 on the current path, 2 done
    path = []

    def visit(node):
        state[node] = 1
        path.append(node)
        for successor in sorted(graph.get(node, ())):
            if state.get(successor) == 1:
                return path[path.index(successor):] + [successor]
            if successor not in state:
                ring = visit(successor)
                if ring:
                    return ring
        path.pop()
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            ring = visit(node)
            if ring:
                return ring
    return None


def check(root, layers=LAYERS):
    """The findings (strings) for the tree at root; empty when it is clean."""
    allowed = allowed_includes(layers)
    position = {name: index for index, (name, _) in enumerate(layers)}
    findings = []
    graph = {}
    top_folders = {d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d))}
    for path in source_files(root):
        relative = os.path.relpath(path, root)
        parts = relative.split(os.sep)
        if len(parts) < 2:
            continue  # a source at the top has no folder
        folder = parts[0]
        with open(path, encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1)
            where = f"{relative}:{number}"
            head = target.split("/")[0] if "/" in target else None
            if head is None or head not in top_folders and head not in allowed:
                # Next to the including file, or not one of ours.
                continue
            if head == folder:
                continue
            if folder not in allowed:
                findings.append(f"{where}: folder {folder}/ has no line in the layer table "
                                f"(includes \"{target}\")")
                continue
            if head not in allowed:
                findings.append(f"{where}: includes \"{target}\" of folder {head}/, "
                                f"which has no line in the layer table")
                continue
            graph.setdefault(folder, set()).add(head)
            if head not in allowed[folder]:
                upwards = folder in position and head in position and position[head] > position[folder]
                direction = "upwards" if upwards else "to a folder not listed for it"
                findings.append(f"{where}: {folder}/ includes \"{target}\": runs {direction} "
                                f"({folder}/ may include {', '.join(sorted(allowed[folder])) or 'nothing'})")
    ring = find_cycle({k: v for k, v in graph.items() if k not in TEST_FOLDERS})
    if ring:
        findings.append("folders include each other: " + " -> ".join(ring))
    findings.extend(check_links(root, layers, graph))
    return findings


DZ_CORE_LIBRARY = re.compile(r"dz_core_library\(([^)]*)\)", re.S)
LINK_LIBRARIES = re.compile(r"target_link_libraries\(([^)]*)\)", re.S)
ADD_LIBRARY = re.compile(r"add_library\(\s*([A-Za-z0-9_]+)")
KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE", "SOURCES"}


def cmake_words(text):
    """The words of a CMake argument list, comments left out."""
    return " ".join(line.split("#", 1)[0] for line in text.splitlines()).split()


def core_links(text):
    """(folder, set of folders it links) of a dz_core_library call in a
    CMakeLists.txt text, or None when there is none."""
    match = DZ_CORE_LIBRARY.search(text)
    if not match:
        return None
    words = cmake_words(match.group(1))
    linked, section = set(), None
    for word in words[1:]:
        if word in KEYWORDS:
            section = word
        elif section in ("PUBLIC", "PRIVATE"):
            linked.add(word)
    return words[0], linked


def check_links(root, layers, includes):
    """The findings of the link check. includes: folder -> set of folders
    its sources include."""
    allowed = allowed_includes(layers)
    findings = []
    owner = {}  # library target -> folder that defines it
    texts = {}
    for folder, _ in layers:
        path = os.path.join(root, folder, "CMakeLists.txt")
        if not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8") as f:
            texts[folder] = f.read()
        core = core_links(texts[folder])
        if core:
            owner["doroziri_" + core[0]] = folder
        for name in ADD_LIBRARY.findall(texts[folder]):
            owner[name] = folder
    core_folders = {folder for folder, text in texts.items() if core_links(text)}
    for folder, text in texts.items():
        where = os.path.join(folder, "CMakeLists.txt")
        core = core_links(text)
        used = includes.get(folder, set())
        if core:
            linked = core[1]
            for name in sorted(linked - used):
                findings.append(f"{where}: links {name}, but no source of {folder}/ includes it")
            for name in sorted(used - linked):
                findings.append(f"{where}: {folder}/ includes {name}/ but does not link it")
            continue
        for call in LINK_LIBRARIES.findall(text):
            for word in cmake_words(call)[1:]:
                if word == "doroziri::core":
                    linked = core_folders
                elif word in owner:
                    linked = {owner[word]}
                else:
                    continue
                for name in sorted(linked - allowed[folder] - {folder}):
                    findings.append(f"{where}: links {word} of {name}/, which {folder}/ may not include")
    return findings


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    try:
        findings = check(root)
    except ValueError as e:
        print(f"check_layers: the layer table is wrong: {e}", file=sys.stderr)
        return 2
    for finding in findings:
        print(finding, file=sys.stderr)
    if findings:
        print(f"check_layers: {len(findings)} finding(s) against the layers", file=sys.stderr)
        return 1
    print("check_layers: every include runs downwards and every folder links what it includes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
