"""update-kit's command line: each command's help names every option the
command takes, and bad usage keeps its exit code and its two lines on
stderr.

    python3 command_line_test.py UPDATE_KIT
"""

import re
import subprocess
import sys
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
        result = run("help")
        self.assertEqual(result.returncode, 0)
        for command in ACCEPTED:
            self.assertRegex(result.stdout, r"\n  %s " % command)


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

    def test_an_unknown_or_missing_command(self):
        for args in (["bogus"], []):
            self.assert_usage_error(run(*args), "update-kit: ", "(update-kit --help for the commands)")


if __name__ == "__main__":
    UPDATE_KIT = sys.argv[1]
    unittest.main(argv=sys.argv[:1], verbosity=2)
