"""Other programs at work while the updater copies, under Wine: a second
updater started at the same moment (a user who starts the update twice, a
logon script and a user together), and a program of the user that writes
into every temporary file of the updater it can open. Afterwards every
installed file holds either its old bytes or the payload's, whole."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import Tree  # noqa: E402
from rig import cp932, read_bytes, run_tests, snapshot  # noqa: E402
from update_case import ARGS, FAILURE, SUCCESS, UpdateTestCase, failed_line  # noqa: E402

# The second run starts this much later in each round: a double click, a
# slow elevation prompt.
START_OFFSETS = (0.0, 0.04, 0.08, 0.12)
TAMPERED = b"TAMPERED"


class ConcurrentTest(UpdateTestCase):
    def assert_each_file_old_or_new(self, product, old, new):
        for rel, content in snapshot(product).items():
            if rel.endswith("~upd.tmp"):
                continue  # a temporary file someone held: never installed
            self.assertFalse(TAMPERED in content, "another program's bytes were installed in %s" % rel)
            self.assertTrue(content in (old.files.get(rel), new.files.get(rel)),
                            "%s holds neither its old bytes nor the payload's" % rel)

    def test_two_interactive_updaters_started_together_both_end_well_and_every_file_is_whole(self):
        exe, new = self.stage()
        new.many("Pkg", 300, 110000, "new")
        for offset in START_OFFSETS:
            with self.subTest(second_run_later_by=offset):
                product = self.rig.scratch("product")
                self.install_at(product)
                Tree(product).many("Pkg", 150, 110000, "installed")  # half the files installed
                releases = [os.path.join(self.rig.cases, "release-%d" % i) for i in (1, 2)]
                launchers = [self.rig.launch_updater(ARGS, exe, release) for release in releases]
                open(releases[0], "w").close()
                time.sleep(offset)
                open(releases[1], "w").close()
                boxes = [self.rig.tool("box", "--timeout-ms", "120000", timeout=150) for _ in launchers]
                codes = [self.rig.finish_launch(launcher) for launcher in launchers]
                for box, code in zip(boxes, codes):
                    self.assert_final_box(box, code, SUCCESS)
                self.assert_tree(product, new.files)

    def test_a_program_writing_into_temporary_files_never_gets_its_bytes_installed(self):
        exe, new = self.stage()
        new.many("Pkg", 200, 60000, "new")
        product = self.rig.scratch("product")
        target = self.install_at(product)
        old = Tree(product)
        old.many("Pkg", 200, 60000, "old")
        self.log_folder()
        stop = os.path.join(self.rig.cases, "stop-tampering")
        folders = [self.rig.windows_path(os.path.join(product, "Pkg", str(i))) for i in range(4)]
        tamper = self.rig.tool_start("tamper", "--release", self.rig.windows_path(stop), *folders)
        for round_ in range(3):
            with self.subTest(round=round_):
                box, code = self.rig.run_updater_box(ARGS, exe=exe, timeout_ms=60000, exit_timeout=30)
                self.assertIn(box.get("text"), (cp932(SUCCESS[2]), cp932(FAILURE[2])), box)
                self.assert_each_file_old_or_new(product, old, new)
                if box["text"] == cp932(FAILURE[2]):
                    # The file whose new bytes were not the payload's is named.
                    self.assertTrue(read_bytes(self.log_path()).startswith(cp932("New[0.0.0.0]  FILE[" + target)))
        open(stop, "w").close()
        tampered = self.rig.tool_finish(tamper)
        print("tamper: opened a temporary file %d times, wrote into %d" % (tampered.number("opened"),
              tampered.number("written")), file=sys.stderr)
        self.assertGreater(tampered.number("written"), 0, "the program never got at a temporary file")

    def test_a_temporary_file_another_program_has_open_is_left_to_it(self):
        # Another updater's new file, or any program's: it is neither removed
        # nor renamed into place, and the copy that needed its name fails.
        exe, new = self.stage()
        new.data("bin/a.txt", b"payload\n")
        product = self.rig.scratch("product")
        target = self.install_at(product)
        installed = Tree(product)
        installed.data("bin/a.txt", b"installed\n")
        installed.data("bin/~upd.tmp", b"another program's file, still open\n")
        self.log_folder()
        release = os.path.join(self.rig.cases, "release")
        holder = self.rig.tool_start("hold", self.rig.windows_path(installed.path("bin/~upd.tmp")), "--share", "all",
                                     "--release", self.rig.windows_path(release))
        self.run_update(exe, FAILURE)
        open(release, "w").close()
        self.assertEqual(self.rig.tool_finish(holder).number("held"), 1)
        self.assert_tree(product, installed.files)
        self.assertEqual(read_bytes(self.log_path()), failed_line("0.0.0.0", target + "\\bin\\a.txt"))


if __name__ == "__main__":
    run_tests()
