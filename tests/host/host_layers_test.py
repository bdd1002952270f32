#!/usr/bin/env python3
"""The host's folders form layers: a file includes headers of its own folder
and of the folders below it, never above, and no files include each other in
a circle (a header and its source count as one: a circle between two
concerns is one whichever file closes it). Usage: host_layers_test.py HOST_DIR"""
import pathlib
import re
import sys

LAYERS = ["base", "model", "channel", "ibis", "statistical", "time_domain", "run", "check", "sweep", "cli"]
OUTSIDE = {"host_defaults.h", "ibis_ami_model.h"}  # generated, and the models' public header
INCLUDE = re.compile(r'^#include "([^"]+)"', re.M)


def rank(path: str) -> int:
    folder = path.split("/")[0]
    return LAYERS.index(folder) if folder in LAYERS else len(LAYERS)  # main.cpp on top


def concern(path: str) -> str:
    return path.rsplit(".", 1)[0]


def main() -> int:
    host = pathlib.Path(sys.argv[1])
    files = {p.relative_to(host).as_posix(): p for p in host.rglob("*") if p.suffix in (".h", ".cpp")}
    graph, faults = {}, []
    for name, path in sorted(files.items()):
        module = graph.setdefault(concern(name), [])
        for included in INCLUDE.findall(path.read_text()):
            if included in OUTSIDE:
                continue
            if included not in files:
                faults.append(f"{name} includes \"{included}\", which is not a host header written as folder/name.h")
            elif rank(included) > rank(name):
                faults.append(f"{name} includes {included}, a layer above it")
            elif concern(included) != concern(name):
                module.append(concern(included))
    faults += circles(graph)
    for fault in faults:
        print(fault)
    print(f"{len(files)} files, {len(faults)} faults")
    return 1 if faults else 0


def circles(graph):
    state, found = {}, []

    def visit(node, trail):
        state[node] = "open"
        for nxt in graph.get(node, []):
            if state.get(nxt) == "open":
                found.append("include circle: " + " -> ".join(trail[trail.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = "done"

    for node in graph:
        if node not in state:
            visit(node, [node])
    return found


if __name__ == "__main__":
    sys.exit(main())
