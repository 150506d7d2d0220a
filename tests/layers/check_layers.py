#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

The layers, lowest first; a folder may include its own headers and those of lower layers. Folders
of equal rank are siblings and include nothing of each other. Public headers (include/lym) belong
to the layer whose interface they are. Usage: check_layers.py SOURCE_ROOT
"""
import pathlib
import re
import sys

RANK = {
    "foundation": 0,
    "platform": 1,
    "io": 2,
    "codec": 3,
    "container": 4,
    "files": 5,
    "jobs": 6,
    "library": 6,
    "plugin": 7,
    "gst": 7,
    "frontends": 7,
}
PUBLIC_HEADER_LAYER = {
    "Kernels.h": "foundation",
    "Version.h": "foundation",
    "EncoderSettings.h": "codec",
    "BatchEvents.h": "jobs",
    "Compressor.h": "jobs",
    "Decompressor.h": "jobs",
    "Informant.h": "jobs",
    "Outputs.h": "jobs",
    "lym.h": "library",
}
# Folders that may see nothing of ours but these public headers (and their own files): the
# plug-ins prove that the C interface is enough for a player.
ONLY = {"plugin": {"lym/lym.h"}, "gst": {"lym/lym.h"}}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def layer_of_include(name):
    head, _, rest = name.partition("/")
    if not rest:
        return None  # a file beside the includer
    if head == "lym":
        return PUBLIC_HEADER_LAYER.get(rest, "unknown public header")
    return head


def allowed(layer, name):
    target = layer_of_include(name)
    if target is None or target == layer:
        return True
    if layer in ONLY:
        return name in ONLY[layer]
    if target not in RANK:
        return False
    return RANK[target] < RANK[layer]


def main():
    root = pathlib.Path(sys.argv[1])
    failures = []
    for folder in sorted(p for p in (root / "src").iterdir() if p.is_dir()):
        layer = folder.name
        if layer not in RANK:
            failures.append(f"{folder}: a folder that no layer names")
            continue
        for source in sorted(folder.rglob("*")):
            if source.suffix not in (".h", ".cpp", ".inl", ".c"):
                continue
            for name in INCLUDE.findall(source.read_text(encoding="utf-8")):
                if not allowed(layer, name):
                    failures.append(f"{source.relative_to(root)}: includes {name}")
    for header in sorted((root / "include" / "lym").glob("*.h")):
        layer = PUBLIC_HEADER_LAYER.get(header.name)
        if layer is None:
            failures.append(f"{header.relative_to(root)}: a public header that no layer owns")
            continue
        for name in INCLUDE.findall(header.read_text(encoding="utf-8")):
            if not name.startswith("lym/") or not allowed(layer, name):
                failures.append(f"{header.relative_to(root)}: includes {name}")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
