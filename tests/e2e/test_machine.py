"""The probe that decides which builds the end-to-end suite runs against:
its verdict for every kind of machine (with the loaders' answers stood in),
and on this machine against the plain truth of executing a tiny i386
program."""

import errno
import fcntl
import os
import stat
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from rig import RigError  # noqa: E402
from rig import machine  # noqa: E402
from rig.case import NamedSkips  # noqa: E402

I386_ENTRY_TEXT = ("enabled\ninterpreter /usr/bin/qemu-i386\nflags: F\noffset 0\n"
                   "magic 7f454c4601010100000000000000000002000300\n"
                   "mask fffffffffffefe00fffffffffffffffffeffffff\n")


def loaders(wine64, wine32):
    """A stand-in for run_version: each loader's answer, by path."""
    answers = {machine.WINE64_LOADER: wine64, machine.WINE32_LOADER: wine32}
    return lambda argv: answers[argv[0]]


RUNS = (True, "wine-8.0")
EXEC_FORMAT = (False, machine.WINE32_LOADER + ": exec format error")


class ProbeVerdictTest(unittest.TestCase):
    def setUp(self):
        self.binfmt = tempfile.TemporaryDirectory()
        self.addCleanup(self.binfmt.cleanup)

    def verdict(self, wine64=RUNS, wine32=RUNS, env=None):
        return machine.probe(env=env or {}, run=loaders(wine64, wine32),
                             binfmt_dir=self.binfmt.name, lock_path=self.lock_path)

    @property
    def lock_path(self):
        return os.path.join(self.binfmt.name, "entry.lock")

    def add_entry(self, name, text):
        with open(os.path.join(self.binfmt.name, name), "w") as f:
            f.write(text)

    def test_a_machine_that_executes_32_bit_code_runs_both_builds(self):
        verdict = self.verdict()
        self.assertEqual(verdict.builds, ("win32", "win64"))
        self.assertTrue(verdict.native32)
        self.assertEqual(verdict.headline,
                         "end-to-end: 32-bit and 64-bit builds: this machine executes 32-bit code")

    def test_exec_format_error_means_the_32_bit_build_runs_emulated(self):
        verdict = self.verdict(wine32=EXEC_FORMAT)
        self.assertEqual(verdict.builds, ("win32", "win64"))
        self.assertFalse(verdict.native32)
        self.assertEqual(verdict.lines(), [
            "end-to-end: 32-bit build in a 64-bit prefix under qemu-i386, 64-bit build natively: "
            "this machine cannot execute 32-bit code", "win32 emulated", "win64 native"])

    def test_a_32_bit_wine_that_fails_otherwise_is_named_with_its_cause(self):
        verdict = self.verdict(wine32=(False, "/usr/lib/wine/wine is not installed"))
        self.assertEqual(verdict.builds, ("win64",))
        self.assertIn("the 32-bit Wine cannot start (/usr/lib/wine/wine is not installed)",
                      verdict.headline)

    def test_no_64_bit_wine_fails_the_run_with_the_cause_in_one_line(self):
        for wine32 in (RUNS, EXEC_FORMAT):
            with self.assertRaises(RigError) as raised:
                self.verdict(wine64=(False, "/usr/lib/wine/wine64 is not installed"), wine32=wine32)
            message = str(raised.exception)
            self.assertEqual(message, "no Wine can start: /usr/lib/wine/wine64 is not installed")
            self.assertNotIn("\n", message)

    def test_the_variable_forces_the_64_bit_path_on_any_machine(self):
        for wine32 in (RUNS, EXEC_FORMAT):
            verdict = self.verdict(wine32=wine32, env={machine.FORCE_64_VARIABLE: "1"})
            self.assertEqual(verdict.builds, ("win64",))
            self.assertEqual(verdict.native32, wine32 is RUNS)
            self.assertEqual(verdict.headline,
                             "end-to-end: 64-bit build only: forced by E2E_64BIT_ONLY=1")
        self.assertEqual(self.verdict(env={machine.FORCE_64_VARIABLE: "0"}).builds,
                         ("win32", "win64"))

    def test_the_variable_forces_the_emulated_path_where_32_bit_code_runs(self):
        verdict = self.verdict(env={machine.FORCE_EMULATION_VARIABLE: "1"})
        self.assertEqual((verdict.builds, verdict.native32), (("win32", "win64"), False))
        self.assertEqual(verdict.lines()[1:], ["win32 emulated", "win64 native"])
        self.assertIn("forced by E2E_EMULATE_32BIT=1", verdict.headline)

    def test_32_bit_code_diverted_to_someone_elses_emulator_is_not_native(self):
        self.add_entry("qemu-i386", I386_ENTRY_TEXT)
        self.add_entry("python3.11", "enabled\ninterpreter /usr/bin/python3.11\nmagic a70d0d0a\n")
        verdict = self.verdict()
        self.assertEqual(verdict.how("win32"), "emulated")
        self.assertFalse(verdict.native32)
        self.assertIn("binfmt_misc entry qemu-i386", verdict.headline)

    def test_a_disabled_foreign_entry_diverts_nothing(self):
        self.add_entry("qemu-i386", I386_ENTRY_TEXT.replace("enabled", "disabled"))
        self.assertTrue(self.verdict().native32)

    def test_an_entry_of_ours_left_by_a_killed_run_is_removed_before_probing(self):
        self.add_entry(machine.EMULATION_ENTRY, I386_ENTRY_TEXT)
        self.assertTrue(self.verdict().native32)  # not taken for someone else's emulator
        with open(os.path.join(self.binfmt.name, machine.EMULATION_ENTRY)) as f:
            self.assertEqual(f.read(), "-1")  # what binfmt_misc takes as "remove"

    def test_an_entry_of_ours_that_a_live_run_holds_is_kept_and_means_no_32_bit_code(self):
        self.add_entry(machine.EMULATION_ENTRY, I386_ENTRY_TEXT)
        with open(self.lock_path, "a") as held:
            fcntl.flock(held, fcntl.LOCK_SH)
            verdict = self.verdict()  # the loader runs, but through the emulator
            self.assertEqual(verdict.how("win32"), "emulated")
            self.assertEqual(verdict.reason, machine.NO_32_BIT)
            with open(os.path.join(self.binfmt.name, machine.EMULATION_ENTRY)) as f:
                self.assertEqual(f.read(), I386_ENTRY_TEXT)

    def test_registration_is_refused_in_one_line_where_binfmt_misc_is_missing(self):
        if not os.path.isfile(machine.QEMU_I386):
            self.skipTest("qemu-user is not installed")
        missing = os.path.join(self.binfmt.name, "absent")
        registered, message = machine.enable_emulation(binfmt_dir=missing, mount=False,
                                                       lock_path=self.lock_path)
        self.assertFalse(registered)
        self.assertEqual(message, "binfmt_misc is not available at %s" % missing)


def tiny_i386_program(path):
    """Writes a static i386 ELF that exits with status 42 (exit through int 0x80)."""
    code = bytes.fromhex("b801000000" "bb2a000000" "cd80")
    base, header_size = 0x08048000, 52 + 32
    size = header_size + len(code)
    elf = struct.pack("<4sBBBB8xHHIIIIIHHHHHH", b"\x7fELF", 1, 1, 1, 0, 2, 3, 1,
                      base + header_size, 52, 0, 0, 52, 32, 1, 0, 0, 0)
    segment = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
    with open(path, "wb") as f:
        f.write(elf + segment + code)
    os.chmod(path, stat.S_IRWXU)


def executes_32_bit_code_natively():
    """True when the kernel runs the tiny i386 program itself (no binfmt_misc
    entry of others may divert it: the caller checks that first)."""
    with tempfile.TemporaryDirectory() as folder:
        program = os.path.join(folder, "exit42")
        tiny_i386_program(program)
        try:
            return subprocess.run([program], timeout=30).returncode == 42
        except OSError as error:
            if error.errno == errno.ENOEXEC:
                return False
            raise


class ProbeOnThisMachineTest(unittest.TestCase):
    def test_the_verdict_agrees_with_executing_an_i386_program(self):
        if not os.path.exists(machine.WINE64_LOADER):
            self.skipTest("Wine is not installed (scripts/install-deps.sh)")
        verdict = machine.probe(env={})
        if machine.foreign_i386_entries() or machine.emulation_in_use():
            self.assertFalse(verdict.native32)
            return
        self.assertEqual(verdict.native32, executes_32_bit_code_natively(), verdict)
        print("\nthis machine: " + verdict.headline, file=sys.stderr)

    def test_run_version_tells_missing_failing_and_working_programs_apart(self):
        with tempfile.TemporaryDirectory() as folder:
            failing = os.path.join(folder, "failing")
            with open(failing, "w") as f:
                f.write("#!/bin/sh\necho first\necho 'the last word'\nexit 3\n")
            os.chmod(failing, stat.S_IRWXU)
            self.assertEqual(machine.run_version([failing]),
                             (False, "%s --version ended with 3: the last word" % failing))
            missing = os.path.join(folder, "missing")
            self.assertEqual(machine.run_version([missing]),
                             (False, "%s is not installed" % missing))
            working = os.path.join(folder, "working")
            with open(working, "w") as f:
                f.write("#!/bin/sh\necho \"tool 1.0 ($1)\"\necho more\n")
            os.chmod(working, stat.S_IRWXU)
            self.assertEqual(machine.run_version([working]), (True, "tool 1.0 (--version)"))


if __name__ == "__main__":
    unittest.main(testRunner=unittest.TextTestRunner(verbosity=2, resultclass=NamedSkips))
