"""Times `update-kit diff` natively beside the floor of reading every byte
once (a measurement, not a test):

  (a) NEW: the Wine benchmark's 2,000-file tree (about 200 MB,
      bench/wine/generate.py); OLD: two variants of it, each a copy of its
      own (not hard links: diff takes two names of one file as the same bytes
      unread) with a tenth of the files changed (half of them in one byte, the
      size kept, so that they must be read to the end), a few removed and
      a few added;
  (b) NEW: the 100,000-file tree of preview_bench.py; OLD: one variant of it,
      made the same way.

The floor is `sha256sum` and `cat` over every file of NEW and of the OLDs,
each byte read once, through find and xargs; `cp -r` of the payload diff
wrote shows what writing its output costs on top. Every program is pinned to one
CPU (taskset -c 1); the page cache is warm (one run of each first).

    python3 bench/kit/diff_bench.py [ROUNDS]

Prints the median of ROUNDS rounds (default 5), one run of each program a
round. Trees are made once under BENCH_WORK (default
build/native/bench-kit); update-kit is build/native/src/kit/update-kit
(UPDATE_KIT overrides).
"""

import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "bench" / "kit"))

import preview_bench  # noqa: E402

VARIANT_MARK = "variant v1"
PIN = ["taskset", "-c", "1"]


def variant(new, out, seed):
    """A copy of `new` at `out`, a tenth of its files changed, a few removed and added."""
    mark = out / "variant.ok"
    if mark.is_file() and mark.read_text().strip() == VARIANT_MARK:
        return
    shutil.rmtree(out, ignore_errors=True)
    shutil.copytree(new, out / "tree")
    rng = random.Random(seed)
    files = sorted(str(p.relative_to(out / "tree")) for p in (out / "tree").rglob("*") if p.is_file())
    for n, rel in enumerate(rng.sample(files, len(files) // 10)):
        path = out / "tree" / rel
        data = bytearray(path.read_bytes())
        if n % 2 and data:
            data[-1] ^= 0x01  # the last byte: read to the end to tell
        else:
            data += b"changed"
        path.write_bytes(bytes(data))
    for rel in rng.sample(files, len(files) // 100):
        path = out / "tree" / rel
        if path.exists():
            path.unlink()
    for n in range(len(files) // 100):
        (out / "tree" / ("%s.old%d" % (rng.choice(files), n))).write_bytes(b"only in the old release")
    mark.write_text(VARIANT_MARK + "\n")


def timed(command):
    start = time.perf_counter()
    subprocess.run(PIN + command, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main(argv):
    rounds = int(argv[1]) if len(argv) > 1 else 5
    found = preview_bench.kit_and_trees()
    if found is None:
        return 2
    kit, work = found
    cases = [("2,000 files, 200 MB, two OLDs", work / "wine2000" / "stage",
              [work / "diff-variants" / "wine2000-a", work / "diff-variants" / "wine2000-b"]),
             ("100,000 files, one OLD", work / "large" / "stage", [work / "diff-variants" / "large-a"])]
    for label, new, olds in cases:
        for seed, old in enumerate(olds):
            variant(new, old, seed)
        trees = [str(new)] + [str(old / "tree") for old in olds]
        out = work / "diff-out"
        diff = [kit, "diff", "--to", str(new), "--out", str(out)]
        for old in olds:
            diff += ["--from", str(old / "tree")]
        every_file = "find %s -type f -print0 | xargs -0 " % " ".join(trees)
        copy = work / "diff-out-copy"
        programs = {
            "diff": lambda: (shutil.rmtree(out, ignore_errors=True), timed(diff))[1],
            "sha256sum": lambda: timed(["sh", "-c", every_file + "sha256sum"]),
            "cat": lambda: timed(["sh", "-c", every_file + "cat"]),
            # Writing the payload diff wrote, once more: what diff adds to reading.
            "cp payload": lambda: (shutil.rmtree(copy, ignore_errors=True), timed(["cp", "-r", str(out), str(copy)]))[1],
        }
        shutil.rmtree(out, ignore_errors=True)
        summary = subprocess.run(diff, stdout=subprocess.PIPE, text=True).stdout
        print(label + ": " + next(line for line in summary.splitlines() if line.startswith("NEW: ")))
        for run in programs.values():
            run()  # warm-up: the page cache
        times = {name: [] for name in programs}
        for _ in range(rounds):
            for name, run in programs.items():
                times[name].append(run())
        medians = {name: statistics.median(values) for name, values in times.items()}
        for name, median in medians.items():
            print("  %-10s median %7.3f s of %d (%.3f to %.3f)  diff/this %.2f" % (
                name, median, rounds, min(times[name]), max(times[name]), medians["diff"] / median))
        shutil.rmtree(out, ignore_errors=True)
        shutil.rmtree(copy, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
