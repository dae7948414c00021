"""Fails when an include runs up the folder tree of src/.

Each folder under src/ is one library of one layer; a file may include its
own folder and the folders its layer builds on, never one above it.
"""

import re
import sys
from pathlib import Path

# What each folder may include besides itself, bottom up.
ALLOWED = {
    "rules": set(),
    "seam": {"rules"},
    "native": {"rules"},
    "update": {"rules", "seam"},
    "win32": {"rules", "seam"},
    "app": {"rules", "seam", "update", "win32"},
    "kit": {"rules", "native"},
    "kit/preview": {"rules", "seam", "native", "update", "kit"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def folder_of(path):
    """The library folder a path below src/ belongs to (the deepest known)."""
    parts = Path(path).parts
    for depth in (2, 1):
        name = "/".join(parts[:depth])
        if name in ALLOWED and len(parts) > depth:
            return name
    return None


def main(src):
    src = Path(src)
    faults = []
    for source in sorted(src.rglob("*")):
        if source.suffix not in (".h", ".cpp", ".rc"):
            continue
        own = folder_of(source.relative_to(src))
        if own is None:
            faults.append(f"{source}: in no library folder")
            continue
        for included in INCLUDE.findall(source.read_text(encoding="utf-8", errors="replace")):
            target = folder_of(included)
            if target is None:
                # A header beside the file (the resource script's own files).
                if (source.parent / included).exists():
                    continue
                faults.append(f"{source}: includes {included}, in no library folder")
            elif target != own and target not in ALLOWED[own]:
                faults.append(f"{source}: {own} includes {included} ({target}), above it")
    for fault in faults:
        print(fault)
    print(f"{len(faults)} include(s) running up the tree")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
