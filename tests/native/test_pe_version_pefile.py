"""The pe-version tool agrees with python3-pefile on every fixture.

    /usr/bin/python3 test_pe_version_pefile.py PE_VERSION_TOOL FIXTURE_DIR

For each file, pefile's view is brought to what the Windows version API
returns, by the same rules the reader states:
- the RT_VERSION resource named 1, of its languages the first present of
  neutral, Japanese, English, else the first;
- the first StringFileInfo block; table and value keys compared with A-Z and
  a-z alike; the first of equal keys;
- the text converted unit by unit: pefile writes each UTF-16 surrogate unit
  as the text "\\udXXX" (the fixtures hold no backslash, so each such escape
  is one unit), which becomes '?', as does every other character code page
  932 lacks.
Python's cp932 codec and Windows differ on characters with two codes in code
page 932 and on Windows's near matches; the fixtures use neither (the unit
tests cover those).

Compared: the format (PE32, PE32+ or none), every string table's key and
FileVersion, and the Japanese FileVersion.
"""

import re
import subprocess
import sys
from pathlib import Path

import pefile

LANGUAGE_ORDER = (0x0000, 0x0411, 0x0409)
SURROGATE_ESCAPE = re.compile(r"\\ud[89a-f][0-9a-f]{2}")


def to_cp932(value):
    text = SURROGATE_ESCAPE.sub("?", value.decode("utf-8"))
    return text.encode("cp932", errors="replace")


def pick_language(entries):
    for language in LANGUAGE_ORDER:
        for entry in entries:
            if entry.id == language:
                return entry
    return entries[0] if entries else None


def expected(data):
    """(format, [(key, value or None)], japanese value or None) by pefile."""
    try:
        pe = pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError:
        return "none", [], None
    magic = pe.OPTIONAL_HEADER.Magic
    form = {0x10B: "pe32", 0x20B: "pe32+"}.get(magic, "none")
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    types = [e for e in (resources.entries if resources else []) if e.id == pefile.RESOURCE_TYPE["RT_VERSION"]]
    names = [e for e in (types[0].directory.entries if types else []) if e.id == 1]
    language = pick_language(names[0].directory.entries if names else [])
    if language is None:
        return form, [], None
    if hasattr(pe, "FileInfo"):
        del pe.FileInfo
    pe.parse_version_information(language.data.struct)
    blocks = pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []
    string_file_info = next((b for b in blocks if hasattr(b, "StringTable")), None)
    tables = []
    for table in string_file_info.StringTable if string_file_info else []:
        value = next((v for k, v in table.entries.items() if k.lower() == b"fileversion"), None)
        tables.append((table.LangID, None if value is None else to_cp932(value)))
    japanese = next((v for k, v in tables if k.lower() == b"041103a4"), None)
    return form, tables, japanese


def reported(tool, path):
    """(format, [(key, value or None)], japanese value or None) by the tool."""
    lines = subprocess.run([tool, "--all", str(path)], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    decode = lambda field: None if field == "none" else bytes.fromhex(field)
    form, tables, japanese = None, [], None
    for line in lines:
        kind, _, rest = line.partition(" ")
        if kind == "format":
            form = rest
        elif kind == "table":
            key, _, value = rest.partition(" ")
            tables.append((bytes.fromhex(key), decode(value)))
        elif kind == "japanese":
            japanese = decode(rest)
    return form, tables, japanese


def main(argv):
    tool, folder = argv[1], Path(argv[2])
    files = sorted(p for p in folder.iterdir() if p.is_file() and not p.name.startswith("."))
    if not files:
        sys.exit(f"no fixtures in {folder}")
    failures = 0
    for path in files:
        want = expected(path.read_bytes())
        got = reported(tool, path)
        status = "ok  " if want == got else "DIFF"
        failures += want != got
        print(f"{status} {path.name}: {got[0]}, japanese {got[2]!r:.60}, tables {len(got[1])}")
        if want != got:
            print(f"     pefile: {want}\n     reader: {got}")
    print(f"{len(files) - failures} of {len(files)} files agree with pefile {pefile.__version__}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
