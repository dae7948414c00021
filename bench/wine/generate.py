"""Generates the Wine benchmark's update: a staged payload of 2,000 files in
nested folders (half of them small DLLs with Japanese version resources, the
rest data files of mixed sizes, about 200 MB in all) and the installed tree it
updates, in which every installed copy is older than the new file or missing,
so that an update run copies every file.

    python3 generate.py WORK      writes WORK/stage/<payload>, WORK/installed/
                                  and WORK/copy-list.txt (for bare_copy.exe)

The output is the same on every run (fixed seed); a finished generation is
marked by WORK/generated.ok and not redone.
"""

import os
import random
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))

from payload_files import build_pe  # noqa: E402

FILE_COUNT = 2000
PE_COUNT = FILE_COUNT // 2
TOTAL_BYTES = 200 * 1024 * 1024
TOP_FOLDERS = ("Program", "Data")
SEED = 20240611
MARK = "generated.ok v1"

# New and installed versions of the DLLs: every installed one is older, some
# only when the numbers are compared as numbers (13.10 after 13.9).
VERSION_PAIRS = (
    ("13.1.2.80", "13.1.2.76"),
    ("13.10.0.1", "13.9.0.1"),
    ("7.1.0.12", "7.1.0.9"),
    ("2.0.0.0", "1.9.99.999"),
    ("13.1.2.100", "13.1.2.99"),
    ("15.0.1.3", "14.2.7.40"),
)


def folder_tree(rng):
    """About 60 folders, one to four levels below the two top folders."""
    names = ("bin", "lib", "plugins", "reports", "forms", "templates", "help", "tax", "ledger", "print",
             "import", "export", "sample", "ja", "fonts", "layouts")
    folders = []
    for top in TOP_FOLDERS:
        frontier = [top]
        folders.append(top)
        while len(folders) < 30 * (TOP_FOLDERS.index(top) + 1):
            parent = rng.choice(frontier)
            if parent.count("/") >= 4:
                continue
            child = "%s/%s%d" % (parent, rng.choice(names), rng.randrange(100))
            if child not in folders:
                folders.append(child)
                frontier.append(child)
    return folders


def file_sizes(rng):
    """Payload sizes of the DLLs' extra bytes and of the data files, scaled so
    that the whole payload comes to TOTAL_BYTES."""
    def draw(bands):
        roll = rng.random()
        for share, low, high in bands:
            if roll < share:
                return rng.randrange(low, high)
            roll -= share
        return bands[-1][1]

    pe = [draw(((0.70, 1 << 10, 32 << 10), (0.25, 32 << 10, 256 << 10), (0.05, 256 << 10, 1 << 20)))
          for _ in range(PE_COUNT)]
    data = [draw(((0.60, 0, 16 << 10), (0.30, 16 << 10, 256 << 10), (0.09, 256 << 10, 1 << 20),
                  (0.01, 2 << 20, 8 << 20)))
            for _ in range(FILE_COUNT - PE_COUNT)]
    scale = TOTAL_BYTES / float(sum(pe) + sum(data))
    return [int(s * scale) for s in pe], [int(s * scale) for s in data]


def write(path, content):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(content)


def windows_order(root):
    """The payload files below root as a folder search meets them: each
    folder's entries sorted by their upper-cased names, depth first."""
    found = []
    for name in sorted(os.listdir(root), key=str.upper):
        path = os.path.join(root, name)
        if os.path.isdir(path):
            found += windows_order(path)
        else:
            found.append(path)
    return found


def generate(work, cache_dir):
    work = Path(work)
    if (work / "generated.ok").is_file() and (work / "generated.ok").read_text().strip() == MARK:
        return
    rng = random.Random(SEED)
    for name in ("stage", "installed"):
        shutil.rmtree(work / name, ignore_errors=True)
    stage, installed = work / "stage", work / "installed"
    folders = folder_tree(rng)
    pe_sizes, data_sizes = file_sizes(rng)
    new_dlls = [build_pe(new, "bench-new-%d" % i, cache_dir=cache_dir).read_bytes()
                for i, (new, _) in enumerate(VERSION_PAIRS)]
    old_dlls = [build_pe(old, "bench-old-%d" % i, cache_dir=cache_dir).read_bytes()
                for i, (_, old) in enumerate(VERSION_PAIRS)]

    for i in range(FILE_COUNT):
        folder = rng.choice(folders)
        if i < PE_COUNT:
            rel = "%s/part%04d.dll" % (folder, i)
            pair = rng.randrange(len(VERSION_PAIRS))
            # Extra bytes after the image keep the version resource and make
            # every file's content its own.
            extra = rel.encode() + rng.randbytes(pe_sizes[i])
            write(stage / rel, new_dlls[pair] + extra)
            if rng.random() < 0.7:
                write(installed / rel, old_dlls[pair] + rel.encode() + rng.randbytes(pe_sizes[i] // 2))
        else:
            rel = "%s/data%04d.%s" % (folder, i, rng.choice(("dat", "txt", "frm", "xml", "bin")))
            size = data_sizes[i - PE_COUNT]
            write(stage / rel, rng.randbytes(size))
            if rng.random() < 0.5:
                write(installed / rel, rng.randbytes(size // 3))
    installed.mkdir(parents=True, exist_ok=True)
    (work / "generated.ok").write_text(MARK + "\n")


def copy_list(stage, product, windows_path):
    """bare_copy.exe's list: "source|destination" lines, code page 932, CR LF."""
    lines = []
    for path in windows_order(stage):
        rel = os.path.relpath(path, stage)
        if os.sep not in rel:
            continue  # beside the updater: not payload
        lines.append("%s|%s" % (windows_path(path), windows_path(os.path.join(product, rel))))
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def main(argv):
    if len(argv) != 2:
        print("usage: generate.py WORK", file=sys.stderr)
        return 2
    generate(argv[1], Path(argv[1]) / "payload-cache")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
