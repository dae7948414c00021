#!/usr/bin/env python3
"""Fails when a clang-built library carries a text of the texts header
in UTF-8, or none in code page 932: either means the converted header was not
the one compiled.

    check_library_texts.py TEXTS_HEADER LIBRARY
"""

import re
import sys


def main():
    header_path, library_path = sys.argv[1:]
    with open(header_path, encoding="utf-8") as f:
        source = re.sub(r"//[^\n]*|/\*.*?\*/", "", f.read(), flags=re.S)
    runs = set(re.findall(r"[^\x00-\x7f]+", source))  # the non-ASCII stretches of its literals
    with open(library_path, "rb") as f:
        library = f.read()
    utf8 = sorted(r for r in runs if r.encode("utf-8") in library)
    cp932 = [r for r in runs if r.encode("cp932", errors="ignore") in library]
    print(f"{len(runs)} double-byte stretches: {len(cp932)} found as code page 932, {len(utf8)} as UTF-8")
    if utf8:
        print("in UTF-8: " + ", ".join(utf8))
    return 1 if utf8 or not cp932 else 0


if __name__ == "__main__":
    sys.exit(main())
