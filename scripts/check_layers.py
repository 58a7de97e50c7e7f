#!/usr/bin/env python3
"""Keeps kestrum's layers one-way: a source file may use its own layer and
the layers below it, never one above.

    toolkit < node < paths < process < tree < persist < tools, bench, fuzz

(include/ is the public face of node; tests/support is shared by the tests,
the fuzz targets and the benchmarks, and counts with the top.) A file breaks
the rule when it includes a header of a layer above it, or calls a pm_ or tk_
function that a layer above it defines. The second half matters because the
layers below tree reach each other through include/kestrum.h, which declares
everything: a call upwards shows in no include.

Run it from anywhere: python3 scripts/check_layers.py [SOURCE_DIR]
It prints every breach with the way out and exits 1, or exits 0 quietly.
"""

import os
import re
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Lowest first; directories of one entry form one layer.
LAYERS = [["toolkit"], ["node", "include"], ["paths"], ["process"], ["tree"], ["persist"],
          ["tools", "python", "bench", "fuzz", "tests/support"]]
RANK = {d: i for i, layer in enumerate(LAYERS) for d in layer}
# Where a bare #include "name.h" is looked for after the including file's own
# directory (the build's include paths).
SEARCH = ["toolkit", "include", "tools", "tests/support", "fuzz", "bench"]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
DEFINITION = re.compile(r'^(?:PM_API|TK_API)\b[^;{]*?\b((?:pm|tk)_\w+)\s*\([^;]*?\)\s*(?:noexcept\s*)?\{', re.M)
CALL = re.compile(r'\b((?:pm|tk)_[A-Z]\w*)\s*\(')
COMMENT = re.compile(r'//[^\n]*|/\*.*?\*/', re.S)


def layer_of(rel):
    for d in sorted(RANK, key=len, reverse=True):
        if rel == d or rel.startswith(d + "/"):
            return d
    return None


def sources():
    for d in RANK:
        top = os.path.join(ROOT, d)
        for folder, _, names in os.walk(top):
            for name in sorted(names):
                if name.endswith((".cc", ".c", ".h")):
                    yield os.path.relpath(os.path.join(folder, name), ROOT)


def resolve(rel, target):
    here = os.path.dirname(rel)
    for base in [here, ""] + SEARCH:
        candidate = os.path.normpath(os.path.join(base, target))
        if os.path.isfile(os.path.join(ROOT, candidate)):
            return candidate
    return None


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def main():
    files = {rel: open(os.path.join(ROOT, rel), encoding="utf-8").read() for rel in sources()}
    defined = {}
    for rel, text in files.items():
        if rel.startswith("include/"):
            continue
        for m in DEFINITION.finditer(COMMENT.sub("", text)):
            defined.setdefault(m.group(1), rel)
    order = "  <  ".join(", ".join(layer) for layer in LAYERS)
    breaches = []
    for rel, text in sorted(files.items()):
        own = layer_of(rel)
        for m in INCLUDE.finditer(text):
            header = resolve(rel, m.group(1))
            other = layer_of(header) if header else None
            if other and RANK[other] > RANK[own]:
                breaches.append(f"{rel}:{line_of(text, m.start())}: includes {header}, of the layer {other} "
                                f"above {own}")
        if own == "include":
            continue  # the public header declares every export
        code = COMMENT.sub(lambda c: "\n" * c.group(0).count("\n"), text)
        for m in CALL.finditer(code):
            home = defined.get(m.group(1))
            other = layer_of(home) if home else None
            if other and RANK[other] > RANK[own]:
                breaches.append(f"{rel}:{line_of(code, m.start())}: calls {m.group(1)}, defined in {home}, "
                                f"of the layer {other} above {own}")
    if not breaches:
        return 0
    print("Layer breaches (the layers, lowest first: " + order + "):")
    for breach in breaches:
        print("  " + breach)
    print("Move what both layers need down to the lower one (node/ holds what the middle layers share),\n"
          "or move the caller up; if the layers themselves change, edit LAYERS in scripts/check_layers.py\n"
          "and the layout drawing in docs/contributing.md.")
    return 1


if __name__ == "__main__":
    sys.exit(main())
