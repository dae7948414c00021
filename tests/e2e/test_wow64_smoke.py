"""The shipped 32-bit build, run once on the built-in sample the way a
machine without 32-bit support can run it: in a 64-bit prefix, driven by the
64-bit test tool, its 32-bit half under user-mode emulation (qemu-i386-static
registered with binfmt_misc) where the kernel cannot execute 32-bit code.

The 64-bit build cannot catch faults that only the 32-bit one has (a wrong
calling convention on a function pointer crashes on 32-bit only), so this
runs where the whole suite runs against the 64-bit build alone. The
emulation entry is registered only when the probe says that 32-bit code does
not run natively, and removed again afterwards. Where the machine refuses
it, the case is skipped with the reason in one line: the one skip allowed."""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "sample"))

from rig import Rig, Target, snapshot  # noqa: E402
from rig.core import exit_through_cleanups_on_sigterm  # noqa: E402
from rig.machine import EMULATION_ENV, enable_emulation, probe, remove_emulation  # noqa: E402
from sample import Sample  # noqa: E402

# Measured under emulation: the 32-bit updater takes about a minute to start.
BOX_TIMEOUT_S = 400
EXIT_TIMEOUT_S = 300


class SampleInA64BitPrefixTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        target = Target()
        if target.build != "win32" or not target.wow64:
            raise RuntimeError("run with E2E_BUILD=win32 and E2E_WOW64=1 (ctest sets them)")
        extra_env = {}
        if not probe().native32:
            registered, message = enable_emulation()
            print("end-to-end [win32]: %s" % message, flush=True)
            if not registered:
                raise unittest.SkipTest("32-bit smoke skipped: " + message)
            cls.addClassCleanup(remove_emulation)
            extra_env = EMULATION_ENV
        else:
            print("end-to-end [win32]: 32-bit code runs natively here: no emulation needed",
                  flush=True)
        cls.rig = Rig(target, extra_env=extra_env)
        cls.addClassCleanup(cls.rig.close)  # also after a start cut short
        cls.rig.start()

    def __str__(self):
        return "%s [win32 in a 64-bit prefix]" % super().__str__()

    def test_sample_update_ends_with_the_success_box_copied_files_and_log(self):
        self.rig.reset()
        sample = Sample(self.rig)
        _, box, code = sample.run(box_timeout_s=BOX_TIMEOUT_S, progress_timeout_s=0,
                                  exit_timeout_s=EXIT_TIMEOUT_S)
        self.assertEqual(box.get("found"), b"1", box)
        self.assertEqual(box.text("title"), "情報", box)
        self.assertEqual(box.text("icon"), "information", box)
        self.assertEqual(box.text("text"), "インストールは正常に終了しました。", box)
        self.assertEqual(code, 0)
        self.assertEqual(snapshot(sample.product), sample.expected_after())
        with open(sample.log, "rb") as f:
            self.assertEqual(f.read(), sample.expected_log())


if __name__ == "__main__":
    exit_through_cleanups_on_sigterm()
    unittest.main(verbosity=2)
