"""update-kit's command line: each command's help names every option the
command takes, repeated --from options each name a release, and bad usage
keeps its exit code and its two lines on stderr.

    python3 command_line_test.py UPDATE_KIT
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

UPDATE_KIT = None

# What each command has always taken: its help must list each at the start
# of an option's line.
ACCEPTED = {
    "check": ["STAGED", "--target-root", "--source-root", "--strict", "--json"],
    "preview": ["STAGED", "INSTALLED", "--target-root", "--source-root", "--product", "--report-bytes"],
    "stage": ["--updater", "--payload", "--out", "--sign", "--product", "--version-code", "--ca-file",
              "--timestamp", "--target-root", "--source-root", "--strict"],
    "diff": ["--from", "--to", "--out", "--strict", "--json"],
}


def run(*args):
    return subprocess.run([UPDATE_KIT, *args], capture_output=True, text=True, timeout=60)


class HelpTest(unittest.TestCase):
    def test_each_command_lists_each_option(self):
        for command, options in ACCEPTED.items():
            result = run(command, "--help")
            self.assertEqual((result.returncode, result.stderr), (0, ""), command)
            for option in options:
                self.assertRegex(result.stdout, r"\n  %s[ \n]" % re.escape(option), command)

    def test_top_level_help_lists_each_command(self):
        for spelling in ("--help", "-h", "help"):
            result = run(spelling)
            self.assertEqual(result.returncode, 0, spelling)
            for command in ACCEPTED:
                self.assertRegex(result.stdout, r"\n  %s " % command, spelling)


class UsageErrorTest(unittest.TestCase):
    def assert_usage_error(self, result, prefix, where):
        self.assertEqual(result.returncode, 2, result.stderr)
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 2, result.stderr)
        self.assertTrue(lines[0].startswith(prefix), lines[0])
        self.assertGreater(len(lines[0]), len(prefix))
        self.assertEqual(lines[1], where)

    def test_each_command_says_the_problem_and_where_its_options_are(self):
        for command in ACCEPTED:
            for args in ([], ["--bogus"], ["--target-root" if command != "diff" else "--to"]):
                self.assert_usage_error(run(command, *args), "update-kit %s: " % command,
                                        "(update-kit %s --help for the options)" % command)

    def test_signing_options_need_sign(self):
        result = run("stage", "--updater", "u", "--payload", "p", "--out", "o", "--timestamp", "http://t/")
        self.assert_usage_error(result, "update-kit stage: ", "(update-kit stage --help for the options)")
        self.assertIn("--sign", result.stderr.splitlines()[0])

    def test_an_unknown_or_missing_command(self):
        for args in (["bogus"], []):
            self.assert_usage_error(run(*args), "update-kit: ", "(update-kit --help for the commands)")


class RepeatedFromTest(unittest.TestCase):
    def test_each_from_is_one_release(self):
        tmp = tempfile.mkdtemp(prefix="command_line_test-")
        self.addCleanup(shutil.rmtree, tmp)
        releases = [os.path.join(tmp, name) for name in ("old-a", "old-b", "new")]
        for n, release in enumerate(releases):
            os.makedirs(os.path.join(release, "data"))
            with open(os.path.join(release, "data", "rates.csv"), "wb") as f:
                f.write(b"rate %d\r\n" % n)
        old_a, old_b, new = releases
        result = run("diff", "--from", old_a, "--from", old_b, "--to", new, "--out", os.path.join(tmp, "out"),
                     "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        report = json.loads(result.stdout)
        self.assertEqual(report["releases"], [old_a, old_b])
        self.assertEqual([m["state"] for m in report["files"][0]["machines"]], ["changed", "changed"])
        # One folder a --from: a second one after it is not taken as a release.
        result = run("diff", "--from", old_a, old_b, "--to", new, "--out", os.path.join(tmp, "out2"))
        self.assertEqual(result.returncode, 2, result.stdout)


if __name__ == "__main__":
    UPDATE_KIT = sys.argv[1]
    unittest.main(argv=sys.argv[:1], verbosity=2)
