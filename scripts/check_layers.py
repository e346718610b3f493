#!/usr/bin/env python3
"""Checks that the folders keep their layers: a folder includes only folders before it in the
order given, and no core folder (up to and including the last one named with --core-last)
includes Qt. Prints every breach and exits 1 when there is one."""
import os
import re
import sys


def main(argv):
    if len(argv) < 4 or argv[1] != "--core-last":
        print("usage: check_layers.py --core-last FOLDER SOURCE_ROOT LAYER...", file=sys.stderr)
        return 2
    core_last, root, order = argv[2], argv[3], argv[4:]
    rank = {name: i for i, name in enumerate(order)}
    core = set(order[: order.index(core_last) + 1])
    include = re.compile(r'#\s*include\s+"([A-Za-z_]+)/')
    qt = re.compile(r"#\s*include\s+<Q")
    breaches = []
    for layer in order:
        folder = os.path.join(root, layer)
        for dirpath, _, files in os.walk(folder):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = include.match(line)
                        if m and m.group(1) in rank and rank[m.group(1)] > rank[layer]:
                            breaches.append(f"{path}:{number}: {layer} includes {m.group(1)}, a layer above it")
                        if layer in core and qt.match(line):
                            breaches.append(f"{path}:{number}: {layer} is Qt-free but includes Qt")
    for b in breaches:
        print(b)
    print(f"{len(order)} layers checked, {len(breaches)} breach(es)")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
