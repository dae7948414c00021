"""The built-in sample (scripts/sample), as the README shows it: update-kit
diff between its two releases, update-kit stage, and one whole run that ends
with the success box, the product folder at the new release (but for the
machine's hotfix and the file the new release dropped) and the copy log.

update-kit is the native build's (E2E_UPDATE_KIT)."""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "sample"))

from rig import RigTestCase, run_tests, snapshot  # noqa: E402
from sample import Sample  # noqa: E402

# Generous for a build whose processes run under the emulator.
BOX_TIMEOUT_S = 120
EXIT_TIMEOUT_S = 60


class SampleTest(RigTestCase):
    def test_sample_update_ends_with_the_success_box_copied_files_and_log(self):
        self.rig.reset()
        sample = Sample(self.rig, os.environ["E2E_UPDATE_KIT"])
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
    run_tests()
