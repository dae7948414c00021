#!/usr/bin/env python3
"""Runs the texts dump built by g++ (-fexec-charset=CP932, original header) and
the one built by clang (converted header) and fails unless every text has the
same bytes in both. Also fails when the dump shows no double-byte text at all,
since then the comparison would prove nothing about the conversion."""

import subprocess
import sys


def dump(program):
    lines = subprocess.run([program], capture_output=True, text=True, check=True).stdout.splitlines()
    return dict(line.split(" ", 1) for line in lines)


def main():
    gxx, clang = dump(sys.argv[1]), dump(sys.argv[2])
    status = 0
    for name in sorted(set(gxx) | set(clang)):
        if gxx.get(name) != clang.get(name):
            print(f"{name}:\n  g++:   {gxx.get(name)}\n  clang: {clang.get(name)}")
            status = 1
    double_byte = [name for name, text in gxx.items() if any(int(b, 16) >= 0x80 for b in text.split())]
    if not double_byte:
        print("no text holds a byte of 0x80 or more: the dump does not exercise the conversion")
        status = 1
    print(f"{len(gxx)} texts compared, {len(double_byte)} with double-byte characters: "
          + ("all identical" if status == 0 else "MISMATCH"))
    return status


if __name__ == "__main__":
    sys.exit(main())
