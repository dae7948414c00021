"""Builds the PE files the version reader's tests read.

Each PE fixture is a resource-only DLL made with the MinGW-w64 tools, as the
end-to-end payload files are: a resource script compiled by windres and
linked with no code, no entry point and no runtime. The i686 tools make
PE32 files, the x86_64 tools PE32+ files. Beside them go a few files that
are not PE files at all.

    python3 pe_fixtures.py OUTDIR

writes every fixture into OUTDIR (made if missing) as NAME.dll or NAME.bin.
"""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

JAPANESE = "041103A4"
ENGLISH = "040904B0"


def string_table(key, values):
    """A BLOCK of a string table: `values` is a list of (name, rc literal)."""
    lines = [f'    BLOCK "{key}"', "    BEGIN"]
    lines += [f'      VALUE "{name}", {literal}' for name, literal in values]
    lines += ["    END"]
    return lines


def version_resource(tables, *, name="1", language=None):
    """A VERSIONINFO with the given string tables (lists of lines)."""
    lines = []
    if language:
        lines.append(f"LANGUAGE {language}")
    lines += [
        f"{name} VERSIONINFO",
        "FILEVERSION 1,2,3,4",
        "PRODUCTVERSION 1,2,3,4",
        "FILEFLAGSMASK 0x3f",
        "FILEFLAGS 0x0",
        "FILEOS 0x40004",
        "FILETYPE 0x2",
        "FILESUBTYPE 0x0",
        "BEGIN",
        '  BLOCK "StringFileInfo"',
        "  BEGIN",
    ]
    for table in tables:
        lines += table
    lines += [
        "  END",
        '  BLOCK "VarFileInfo"',
        "  BEGIN",
        '    VALUE "Translation", 0x0411, 932',
        "  END",
        "END",
    ]
    return lines


def ja(version_literal, *others):
    return string_table(JAPANESE, [("CompanyName", '"株式会社オルミカ"'), *others,
                                   ("FileVersion", version_literal)])


def en(version_literal):
    return string_table(ENGLISH, [("CompanyName", '"ORMIKA"'), ("FileVersion", version_literal)])


# name: (architectures, resource script lines, code page of the script)
PE_FIXTURES = {
    "japanese": (("i686", "x86_64"), version_resource([ja('"13.1.2.80"')]), 65001),
    "english_only": (("i686", "x86_64"), version_resource([en('"7.1.0.12"')]), 65001),
    "both_tables": (("i686", "x86_64"), version_resource([en('"9.9.9.9"'), ja('"7.1.0.12"')]), 65001),
    "no_version": (("i686", "x86_64"), [], 65001),
    "three_items": (("i686",), version_resource([ja('"7.1.0"')]), 65001),
    "crlf": (("i686",), version_resource([ja(r'"7.1\r\n0.12"')]), 65001),
    # Written in code page 932, as the end-to-end payload scripts are.
    "double_byte": (("i686", "x86_64"), version_resource([ja('"13.1.2.80 版"')]), 932),
    # "€" and "😀" (a surrogate pair) are not in code page 932.
    "unmappable": (("i686", "x86_64"), version_resource([ja('"1.0 € 😀 ①"')]), 65001),
    "empty_value": (("i686",), version_resource([ja('""')]), 65001),
    "nul_inside": (("i686",), version_resource([ja(r'"1.2\0.3.4"')]), 65001),
    "lower_case_keys": (("i686",), version_resource([string_table("041103a4", [("fileversion", '"5.6.7.8"')])]),
                        65001),
    "no_file_version": (("i686",), version_resource([string_table(JAPANESE, [("ProductVersion", '"1.0"')])]),
                        65001),
    "long_value": (("x86_64",), version_resource([ja('"' + "1.2.3.4 " + "長" * 300 + '"')]), 65001),
    # Two languages of the one version resource: the Japanese one is taken.
    "two_languages": (("i686", "x86_64"),
                      version_resource([ja('"1.1.1.1"')], language="0x09, 0x01")
                      + version_resource([ja('"2.2.2.2"')], language="0x11, 0x01"), 65001),
    # The neutral language comes before Japanese.
    "neutral_language": (("i686",),
                         version_resource([ja('"3.3.3.3"')], language="0x11, 0x01")
                         + version_resource([ja('"4.4.4.4"')], language="0x00, 0x00"), 65001),
    # Only the first language present that is neither neutral, Japanese nor English.
    "other_languages": (("i686",),
                        version_resource([ja('"5.5.5.5"')], language="0x07, 0x01")
                        + version_resource([ja('"6.6.6.6"')], language="0x0c, 0x01"), 65001),
    # A version resource not named VS_VERSION_INFO (1) is not the file's.
    "named_two": (("i686",), version_resource([ja('"8.8.8.8"')], name="2"), 65001),
}

# Files that are not PE files.
OTHER_FIXTURES = {
    "empty": b"",
    "text": "FileVersion 1.2.3.4\r\nこれは文書です\r\n".encode("cp932"),
    "mz_only": b"MZ",
    "dos_header_only": b"MZ" + bytes(0x3A) + (0x40).to_bytes(4, "little"),
    "pe_signature_only": b"MZ" + bytes(0x3A) + (0x40).to_bytes(4, "little") + b"PE\0\0",
}


def resource_script(lines):
    return "\r\n".join(lines + ["100 RCDATA", "BEGIN", '  "marker"', "END", ""])


def build_dll(name, arch, lines, codepage, out):
    script = resource_script(lines)
    if codepage == 932:
        script = "#pragma code_page(932)\r\n" + script
        data = script.encode("cp932")
    else:
        script = "#pragma code_page(65001)\r\n" + script
        data = script.encode("utf-8")
    with tempfile.TemporaryDirectory(dir=out) as scratch:
        scratch = Path(scratch)
        (scratch / "f.rc").write_bytes(data)
        subprocess.run([f"{arch}-w64-mingw32-windres", "-c", str(codepage), "-O", "coff",
                        "-i", "f.rc", "-o", "f.o"], cwd=scratch, check=True)
        subprocess.run([f"{arch}-w64-mingw32-gcc", "-shared", "-nostdlib", "-s", "-Wl,-e,0",
                        "-Wl,--no-insert-timestamp", "f.o", "-o", "f.dll"], cwd=scratch, check=True)
        os.replace(scratch / "f.dll", out / name)


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: pe_fixtures.py OUTDIR")
    out = Path(argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, (arches, lines, codepage) in PE_FIXTURES.items():
        for arch in arches:
            suffix = "pe32" if arch == "i686" else "pe32plus"
            build_dll(f"{name}.{suffix}.dll", arch, lines, codepage, out)
    for name, data in OTHER_FIXTURES.items():
        (out / f"{name}.bin").write_bytes(data)


if __name__ == "__main__":
    main(sys.argv)
