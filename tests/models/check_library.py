#!/usr/bin/env python3
"""Checks a model's shared library as a simulator host would see it.

check_library.py exports <library> <expected-list>
    the defined dynamic symbols are exactly those of the list
check_library.py needed <library>
    the library needs no shared library but libc and libm
"""
import subprocess
import sys


def dynamic_symbols(library):
    out = subprocess.run(["nm", "-D", "--defined-only", library], check=True, capture_output=True, text=True).stdout
    return {line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()}


def needed(library):
    out = subprocess.run(["readelf", "-d", library], check=True, capture_output=True, text=True).stdout
    return {line.split("[")[1].split("]")[0] for line in out.splitlines() if "(NEEDED)" in line}


def main(argv):
    if len(argv) == 4 and argv[1] == "exports":
        with open(argv[3]) as f:
            expected = {line.strip() for line in f if line.strip()}
        actual = dynamic_symbols(argv[2])
        for name in sorted(expected - actual):
            print(f"missing export: {name}")
        for name in sorted(actual - expected):
            print(f"unexpected export: {name}")
        print(f"{len(actual)} symbols exported, {len(expected)} expected")
        return 0 if actual == expected else 1
    if len(argv) == 3 and argv[1] == "needed":
        libraries = needed(argv[2])
        extra = libraries - {"libc.so.6", "libm.so.6"}
        print("needs:", " ".join(sorted(libraries)))
        return 1 if extra else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
