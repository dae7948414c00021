"""Runs the Windows layer's own test program (tests/win32, GoogleTest)
under Wine in the rig's prefix, on fixture files made here: PE files with
and without Japanese version tables, files that are no PE image, folders
with a link back to themselves and with paths past the ANSI limit, and files
to copy over."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import ENGLISH_TABLE, JAPANESE_TABLE, place_pe  # noqa: E402
from rig import RigTestCase, run_tests  # noqa: E402

PROGRAM = os.environ.get("E2E_PLATFORM_TEST", "")
# The native layer's portable reader of version resources (pe-version), from the native build.
PE_VERSION = os.environ.get("E2E_PE_VERSION", "")
KIT_FIXTURES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                            "native", "pe_fixtures.py")
ANSI_PATH_LIMIT = 260


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def both_tables_pe(path):
    """A DLL whose version resource holds an English and a Japanese table."""
    place_pe(path, "2.0.0.1", "both-tables", table=(ENGLISH_TABLE, JAPANESE_TABLE))


class PlatformLayerTest(RigTestCase):
    def make_fixtures(self):
        root = self.rig.scratch("platform")
        versions = os.path.join(root, "versions")
        place_pe(os.path.join(versions, "japanese.dll"), "13.1.2.80", "japanese")
        place_pe(os.path.join(versions, "renamed.txt"), "13.1.2.80", "japanese")
        place_pe(os.path.join(versions, "kanji.dll"), "13.1.2.80 版", "kanji")
        place_pe(os.path.join(versions, "english.dll"), "13.1.2.80", "english", table=ENGLISH_TABLE)
        place_pe(os.path.join(versions, "noversion.dll"), None, "no version")
        both_tables_pe(os.path.join(versions, "both.dll"))
        write(os.path.join(versions, "text.txt"), b"plain text\r\n")
        write(os.path.join(versions, "empty.bin"), b"")
        write(os.path.join(versions, "mz.bin"), b"MZ but nothing after it")

        listing = os.path.join(root, "listing")
        for rel in ("a.txt", ".hidden", "表.dll", "sub/inner.txt"):
            write(os.path.join(listing, "plain", *rel.split("/")), rel.encode("utf-8"))
        os.makedirs(os.path.join(listing, "empty"))
        write(os.path.join(listing, "loop", "x.txt"), b"x")
        os.symlink(os.path.join(listing, "loop"), os.path.join(listing, "loop", "back"))

        # A folder whose own Windows path stays under the limit, holding a file
        # whose full path passes it.
        deep = os.path.join(listing, "deep")
        while len(self.rig.windows_path(deep)) < ANSI_PATH_LIMIT - 40:
            deep = os.path.join(deep, "d" * min(60, ANSI_PATH_LIMIT - 40 - len(self.rig.windows_path(deep))))
        write(os.path.join(deep, "f" * 80 + ".txt"), b"too deep")
        write(os.path.join(deep, "short.txt"), b"fits")

        # The seam's contract: a folder link and the folder it leads to.
        links = os.path.join(root, "contract-link")
        write(os.path.join(links, "target", "inside.txt"), b"inside")
        os.symlink(os.path.join(links, "target"), os.path.join(links, "linked"))

        write(os.path.join(root, "copy", "source.txt"), b"new bytes\r\n")
        write(os.path.join(root, "copy", "existing.txt"), b"old bytes, longer than the new\r\n")
        write(os.path.join(root, "copy", "held.txt"), b"held bytes\r\n")
        return root, deep

    def make_kit_fixtures(self):
        """The portable reader's fixture files, and what it reads in each."""
        folder = self.rig.scratch("kit-fixtures")
        subprocess.run([sys.executable, KIT_FIXTURES, folder], check=True,
                       stdout=subprocess.DEVNULL)
        lines = []
        for name in sorted(os.listdir(folder)):
            found = subprocess.run([PE_VERSION, os.path.join(folder, name)], check=True,
                                   stdout=subprocess.PIPE).stdout.decode().strip()
            lines.append("%s\t%s\r\n" % (name, found))
        write(os.path.join(folder, "expected.txt"), "".join(lines).encode("ascii"))
        return folder

    def test_windows_layer_against_the_real_system(self):
        self.assertTrue(os.path.isfile(PROGRAM), "missing test program %r" % PROGRAM)
        self.assertTrue(os.path.isfile(PE_VERSION),
                        "missing %r: build the native preset first" % PE_VERSION)
        root, deep = self.make_fixtures()
        kit_fixtures = self.make_kit_fixtures()
        proc = self.rig.start_program(PROGRAM, ["--gtest_color=no"], env_extra={
            "PLATFORM_FIXTURES": self.rig.windows_path(root),
            "PLATFORM_DEEP_FOLDER": self.rig.windows_path(deep),
            "PLATFORM_KIT_FIXTURES": self.rig.windows_path(kit_fixtures),
        })
        code = self.rig.wait_exit(proc, timeout=120)
        output = proc.stdout.decode("cp932", "replace")
        print(output)
        self.assertIn("[  PASSED  ]", output)
        self.assertNotIn("[  FAILED  ]", output)
        self.assertEqual(code, 0, proc.stderr.decode("cp932", "replace")[-2000:])


if __name__ == "__main__":
    run_tests()
