"""The updater run as a deployment tool runs it, under Wine: /QUIET, started
through a Windows program that reads its whole exit code (a Unix parent of
Wine sees only the lowest 8 bits), while e2etool watches for any window of
it. No window and no box on any path; the outcome is in Windows
Installer's exit codes; /LOG=FILE takes the log."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import Tree  # noqa: E402
from rig import TORVEN_071, read_bytes, run_tests  # noqa: E402
from update_case import UpdateTestCase, failed_line  # noqa: E402

QUIET = ["/TORVEN", "7.1.0.12", "Pkg", "/QUIET"]


class UnattendedTest(UpdateTestCase):
    def quiet_run(self, args, exe):
        code, window_seen = self.rig.run_updater_quiet(args, exe)
        self.assertFalse(window_seen, "a quiet run showed a window")
        return code

    def test_every_outcome_has_its_exit_code_and_shows_nothing(self):
        exe, new = self.stage()
        new.data("bin/a.txt", b"payload\n")
        product = self.rig.scratch("product")

        def installed(version):
            return lambda: self.install(self.rig.windows_path(product) + "\\", version)

        def root_dir_of_wrong_type():
            self.rig.reg_add(TORVEN_071, "RootDir", "REG_DWORD", "1")

        cases = (
            ("installed older", QUIET, installed("7.1.0.1"), 0),
            ("no package name, any case", ["/TORVEN", "7.1.0.12", "/quiet"], installed("7.1.0.1"), 0),
            ("an empty package name", ["/TORVEN", "7.1.0.12", "", "/QUIET"], installed("7.1.0.1"), 0),
            ("not installed", QUIET, lambda: None, 1605),
            ("newer installed", QUIET, installed("7.1.0.13"), 1638),
            ("version code not in the table", ["/TORVEN", "9.9.0.1", "Pkg", "/QUIET"], installed("7.1.0.1"), 87),
            ("unknown option", QUIET + ["/NORESTART"], installed("7.1.0.1"), 87),
            ("a log at a drive's root", QUIET + ["/LOG=C:\\update.log"], installed("7.1.0.1"), 87),
            ("unknown product switch", ["/OTHER", "7.1.0.12", "Pkg", "/QUIET"], installed("7.1.0.1"), 87),
            ("application error", QUIET, root_dir_of_wrong_type, 1),
        )
        for name, args, register, expected in cases:
            with self.subTest(name):
                self.rig.registry.forget_products()
                register()
                self.assertEqual(self.quiet_run(args, exe), expected)

    def test_a_failed_copy_is_1603_and_its_log_goes_where_log_says(self):
        exe, new = self.stage()
        new.data("bin/a.txt", b"payload a\n")
        new.data("bin/b.txt", b"payload b\n")
        product = self.rig.scratch("product")
        target = self.install_at(product)
        installed = Tree(product)
        installed.data("bin/b.txt", b"in use by the product\n")
        logs = self.rig.scratch("logs")
        log = os.path.join(logs, "update.log")
        holder = self.rig.tool_start("hold", self.rig.windows_path(installed.path("bin/b.txt")),
                                     "--release", self.rig.windows_path(os.path.join(logs, "release")))
        code = self.quiet_run(QUIET + ["/LOG=" + self.rig.windows_path(log)], exe)
        open(os.path.join(logs, "release"), "w").close()
        self.rig.tool_finish(holder)
        self.assertEqual(code, 1603)
        self.assertEqual(read_bytes(log), failed_line("0.0.0.0", target + "\\bin\\b.txt"))
        self.assert_tree(product, {"bin/a.txt": b"payload a\n", "bin/b.txt": b"in use by the product\n"})
        self.assertFalse(os.path.exists(self.log_path()), "the documents folder got the log too")

    def test_two_quiet_runs_started_together_give_0_and_1618(self):
        exe, new = self.stage()
        new.many("Pkg", 300, 110000, "new")
        product = self.rig.scratch("product")
        self.install_at(product)
        release = os.path.join(self.rig.cases, "release")
        launchers = [self.rig.launch_updater(QUIET, exe, release) for _ in range(2)]
        open(release, "w").close()
        codes = sorted(self.rig.finish_launch(launcher) for launcher in launchers)
        self.assertEqual(codes, [0, 1618])
        self.assert_tree(product, new.files)

    def test_a_run_killed_mid_copy_leaves_no_lock_and_the_next_run_ends_well(self):
        exe, new = self.stage()
        new.many("Pkg", 300, 110000, "new")
        product = self.rig.scratch("product")
        self.install_at(product)
        release = os.path.join(self.rig.cases, "release")
        killed = self.rig.launch_updater(QUIET, exe, release)
        open(release, "w").close()
        def copied():
            return sum(len(names) for _, _, names in os.walk(product))

        self.rig.wait_for(lambda: copied() > 20, timeout=120, what="the first run's copies")
        self.rig.kill(killed)
        self.assertEqual(self.quiet_run(QUIET, exe), 0)
        self.assert_tree(product, new.files)


if __name__ == "__main__":
    run_tests()
