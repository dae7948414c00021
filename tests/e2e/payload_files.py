"""Payload PE files for the end-to-end tests and the benchmark.

Each file is a resource-only 32-bit DLL built with the MinGW-w64 tools: a
VERSIONINFO whose string table carries a chosen "FileVersion" text, and an
RCDATA resource holding a marker text so that every file has bytes of its
own. The resource script is written in code page 932 (the Japanese texts in
it must reach the file as the product's own files carry them) and compiled
with `windres -c 932`.

Built files are cached by their parameters in a folder of the build tree, so
a repeated test run builds nothing.
"""

import hashlib
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

JAPANESE_TABLE = "041103A4"  # language 0x0411, code page 932: what the updater reads
ENGLISH_TABLE = "040904B0"   # language 0x0409, code page 1200

WINDRES = os.environ.get("E2E_WINDRES", "i686-w64-mingw32-windres")
LINKER = os.environ.get("E2E_CROSS_CC", "i686-w64-mingw32-gcc")


def default_cache_dir():
    """payload-cache/ in the end-to-end work folder (E2E_WORK, as ctest sets it,
    else build/win32/e2e of this source tree, as the rig takes it)."""
    work = os.environ.get("E2E_WORK")
    if not work:
        work = Path(__file__).resolve().parents[2] / "build" / "win32" / "e2e"
    return Path(work) / "payload-cache"


def _rc_string(text):
    """`text` as a resource-script string literal ("", \\, CR and LF escaped)."""
    escaped = text.replace("\\", "\\\\").replace('"', '""')
    return '"' + escaped.replace("\r", "\\r").replace("\n", "\\n") + '"'


def _numeric_version(version):
    """FILEVERSION's four 16-bit numbers, taken from the text where it can be."""
    numbers = []
    for piece in (version or "").split(".")[:4]:
        digits = "".join(ch for ch in piece if ch.isdigit())
        numbers.append(min(int(digits), 65535) if digits else 0)
    numbers += [0] * (4 - len(numbers))
    return ",".join(str(n) for n in numbers)


TRANSLATIONS = {JAPANESE_TABLE: "0x0411, 932", ENGLISH_TABLE: "0x0409, 1200"}


def resource_script(version, table, marker):
    """The resource script (text) of one payload DLL; `table` is one string
    table's name or a sequence of them, each holding the same texts."""
    tables = (table,) if isinstance(table, str) else tuple(table)
    lines = ["#pragma code_page(932)"]
    if version is not None:
        lines += [
            "1 VERSIONINFO",
            f"FILEVERSION {_numeric_version(version)}",
            f"PRODUCTVERSION {_numeric_version(version)}",
            "FILEFLAGSMASK 0x3f",
            "FILEFLAGS 0x0",
            "FILEOS 0x40004",
            "FILETYPE 0x2",
            "FILESUBTYPE 0x0",
            "BEGIN",
            '  BLOCK "StringFileInfo"',
            "  BEGIN",
        ]
        for name in tables:
            lines += [
                f'    BLOCK "{name}"',
                "    BEGIN",
                '      VALUE "CompanyName", "株式会社オルミカ"',
                '      VALUE "FileDescription", "トーヴェン財務 部品"',
                f'      VALUE "FileVersion", {_rc_string(version)}',
                '      VALUE "ProductName", "トーヴェン財務"',
                "    END",
            ]
        translations = ", ".join(TRANSLATIONS.get(name, "0x%s, %d" % (name[:4], int(name[4:], 16)))
                                 for name in tables)
        lines += [
            "  END",
            '  BLOCK "VarFileInfo"',
            "  BEGIN",
            f'    VALUE "Translation", {translations}',
            "  END",
            "END",
        ]
    lines += ["100 RCDATA", "BEGIN", f"  {_rc_string(marker)}", "END", ""]
    return "\r\n".join(lines)


def build_pe(version, marker, *, table=JAPANESE_TABLE, cache_dir=None):
    """Path of a cached resource-only DLL with `version` as its "FileVersion"
    text in the string table `table` (no version resource at all when
    `version` is None) and `marker` in its data. Callers copy it; they must
    not change it."""
    cache = Path(cache_dir) if cache_dir else default_cache_dir()
    script = resource_script(version, table, marker).encode("cp932")
    name = hashlib.sha256(script).hexdigest()[:24] + ".dll"
    target = cache / name
    if target.exists():
        return target
    cache.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=cache) as scratch:
        scratch = Path(scratch)
        (scratch / "payload.rc").write_bytes(script)
        subprocess.run([WINDRES, "-c", "932", "-O", "coff", "-i", "payload.rc", "-o", "payload.o"],
                       cwd=scratch, check=True, capture_output=True)
        # No code, no entry point, no runtime: only the resources.
        subprocess.run([LINKER, "-shared", "-nostdlib", "-s", "-Wl,-e,0", "-Wl,--no-insert-timestamp",
                        "payload.o", "-o", "payload.dll"],
                       cwd=scratch, check=True, capture_output=True)
        # Rename within the cache folder: a half-written file is never seen.
        os.replace(scratch / "payload.dll", target)
    return target


def place_pe(path, version, marker, *, table=JAPANESE_TABLE, cache_dir=None):
    """Writes a payload DLL (see build_pe) at `path`, making its folders;
    returns its bytes."""
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(build_pe(version, marker, table=table, cache_dir=cache_dir), path)
    return path.read_bytes()
