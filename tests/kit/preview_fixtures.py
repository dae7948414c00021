"""Builds the payload DLLs the preview's tests place in their trees.

    python3 preview_fixtures.py OUTDIR

writes NAME.dll into OUTDIR for every entry of FIXTURES: resource-only DLLs
made by tests/e2e/payload_files.py, each with its "FileVersion" text in the
Japanese table (or the English one, or none at all).
"""

import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))

from payload_files import ENGLISH_TABLE, JAPANESE_TABLE, build_pe  # noqa: E402

# name: (FileVersion text or None, string table)
FIXTURES = {
    "ja_13.1.2.80": ("13.1.2.80", JAPANESE_TABLE),
    "ja_13.1.2.76": ("13.1.2.76", JAPANESE_TABLE),
    "ja_13.10.0.1": ("13.10.0.1", JAPANESE_TABLE),
    "ja_13.9.0.1": ("13.9.0.1", JAPANESE_TABLE),
    "ja_1.0.0.0": ("1.0.0.0", JAPANESE_TABLE),
    "ja_2.0.0.0": ("2.0.0.0", JAPANESE_TABLE),
    "ja_crlf": ("13.1.\r\n2.80", JAPANESE_TABLE),
    "en_1.0.0.0": ("1.0.0.0", ENGLISH_TABLE),
    "ja_three": ("1.2.3", JAPANESE_TABLE),
    "none": (None, JAPANESE_TABLE),
}


def main(argv):
    out = Path(argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, (version, table) in FIXTURES.items():
        shutil.copyfile(build_pe(version, name, table=table, cache_dir=out / "cache"), out / (name + ".dll"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
