"""Times `update-kit preview` natively (a measurement, not a test):

  (a) the Wine benchmark's update: 2,000 files, about 200 MB, half of them
      DLLs with version resources (bench/wine/generate.py), against its
      installed tree, where every installed copy is older or missing;
  (b) a generated update of 100,000 files in 1,000 folders, one in ten a DLL
      with a version resource (each a file of its own holding the bytes of
      one of a few built DLLs: the updater refuses a payload folder holding a
      file with several hard links), against an installed tree holding half
      of them with older versions.

    python3 bench/kit/preview_bench.py [RUNS]

Prints the median and the range of RUNS runs (default 7) after one warm-up
run, with hyperfine when it is installed. Trees are made once under
BENCH_WORK (default build/native/bench-kit); update-kit is
build/native/src/kit/update-kit (UPDATE_KIT overrides).
"""

import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
sys.path.insert(0, str(SOURCE / "bench" / "wine"))

import generate  # noqa: E402
from payload_files import build_pe  # noqa: E402

LARGE_COUNT = 100_000
LARGE_FOLDERS = 1_000
LARGE_MARK = "large v2"


def large_tree(work):
    """(b): made once, marked by generated.ok."""
    work = Path(work)
    mark = work / "generated.ok"
    if mark.is_file() and mark.read_text().strip() == LARGE_MARK:
        return
    for name in ("stage", "installed"):
        shutil.rmtree(work / name, ignore_errors=True)
    cache = work / "payload-cache"
    # The DLLs' bytes are read once and written into every file that copies them.
    new = [build_pe(v, "large-new-%d" % i, cache_dir=cache).read_bytes()
           for i, v in enumerate(("2.0.0.0", "13.10.0.1"))]
    old = [build_pe(v, "large-old-%d" % i, cache_dir=cache).read_bytes()
           for i, v in enumerate(("1.0.0.0", "13.9.0.1"))]
    for i in range(LARGE_COUNT):
        folder = "Program/f%02d/g%03d" % (i % LARGE_FOLDERS // 100, i % LARGE_FOLDERS)
        for tree in ("stage", "installed"):
            (work / tree / folder).mkdir(parents=True, exist_ok=True)
        if i % 10 == 0:
            rel = "%s/part%06d.dll" % (folder, i)
            pair = i // 20 % 2  # every other pair of installed and new DLLs
            (work / "stage" / rel).write_bytes(new[pair])
            if i % 20 == 0:
                (work / "installed" / rel).write_bytes(old[pair])
        else:
            rel = "%s/data%06d.dat" % (folder, i)
            (work / "stage" / rel).write_bytes(b"new %d\n" % i)
            if i % 2:
                (work / "installed" / rel).write_bytes(b"old\n")
    mark.write_text(LARGE_MARK + "\n")


def time_runs(command, runs):
    if shutil.which("hyperfine"):
        subprocess.run(["hyperfine", "--warmup", "1", "--runs", str(runs), "--output", "null",
                        " ".join("'%s'" % part for part in command)], check=True)
        return None
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)  # warm-up: the page cache
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
        times.append(time.perf_counter() - start)
    return times


def kit_and_trees():
    """-> (update-kit, the work folder) with both trees made, or None when
    update-kit is not built (said on stderr)."""
    kit = os.environ.get("UPDATE_KIT", str(SOURCE / "build" / "native" / "src" / "kit" / "update-kit"))
    if not os.access(kit, os.X_OK):
        print("update-kit not found at %s: cmake --build --preset native first" % kit, file=sys.stderr)
        return None
    work = Path(os.environ.get("BENCH_WORK", SOURCE / "build" / "native" / "bench-kit"))
    print("generating the trees under %s (once)..." % work, flush=True)
    generate.generate(work / "wine2000", work / "wine2000" / "payload-cache")
    large_tree(work / "large")
    return kit, work


def main(argv):
    runs = int(argv[1]) if len(argv) > 1 else 7
    found = kit_and_trees()
    if found is None:
        return 2
    kit, work = found

    for label, tree in (("2,000 files (the Wine benchmark's tree)", work / "wine2000"),
                        ("100,000 files", work / "large")):
        command = [kit, "preview", str(tree / "stage"), str(tree / "installed")]
        out = subprocess.run(command, stdout=subprocess.PIPE, check=True).stdout.decode()
        summary = next(line for line in out.splitlines() if line.startswith("files: "))
        times = time_runs(command, runs)
        if times is None:
            continue
        print("%s: %s; median %.1f ms of %d runs (%.1f to %.1f ms)" % (
            label, summary, statistics.median(times) * 1000, runs, min(times) * 1000, max(times) * 1000))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
