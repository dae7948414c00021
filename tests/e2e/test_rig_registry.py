"""How the rig seeds the registry through reg.exe, with a shell script
standing in for the Wine loader: what reg.exe printed reaches the rig, and a
refused `reg add` is asked again, never silently, a bounded number of times."""

import contextlib
import io
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from rig import RigError  # noqa: E402
from rig.case import NamedSkips  # noqa: E402
from rig.prefix import Wine, WinePrefix  # noqa: E402
from rig.registry import REG_ATTEMPTS, Registry  # noqa: E402

# reg.exe's refusal, as it prints it in code page 932: "アクセス拒否".
REFUSAL = "アクセス拒否"


class RegistryTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.calls = os.path.join(self.work.name, "calls")

    def tearDown(self):
        self.work.cleanup()

    def registry(self, refusals):
        """A registry whose "reg.exe" refuses its first `refusals` calls (on its
        standard error, in code page 932) and logs every call with WINEDEBUG."""
        script = ('echo "$WINEDEBUG $*" >> "%s"; n=$(wc -l < "%s"); '
                  "if [ \"$n\" -le %d ]; then printf '%s\\r\\n' >&2; exit 1; fi"
                  % (self.calls, self.calls, refusals,
                     "".join("\\%03o" % byte for byte in REFUSAL.encode("cp932"))))
        loader = Wine("stand-in", ["sh", "-c", script, "wine"], ["true"], {})
        return Registry(WinePrefix(self.work.name, loader))

    def add(self, registry):
        printed = io.StringIO()
        with contextlib.redirect_stderr(printed):
            try:
                registry.add("\\SOFTWARE\\ORMIKA\\TORVENZAIMU071", "Version", "REG_SZ", "7.1.0.1")
            finally:
                with open(self.calls) as f:
                    self.call_lines = f.read().splitlines()
        return printed.getvalue()

    def test_a_refusal_is_printed_with_what_reg_said_and_asked_again(self):
        printed = self.add(self.registry(refusals=1))
        self.assertEqual(self.call_lines, [
            "err+all reg add HKLM\\SOFTWARE\\ORMIKA\\TORVENZAIMU071 /v Version /t REG_SZ "
            "/d 7.1.0.1 /f /reg:32"] * 2)
        self.assertEqual(printed.count("\n"), 1, printed)
        self.assertIn("'Version' failed (1): %s (attempt 1 of %d)" % (REFUSAL, REG_ATTEMPTS), printed)

    def test_a_key_refused_every_time_fails_the_case_with_reg_words(self):
        with self.assertRaises(RigError) as raised:
            self.add(self.registry(refusals=REG_ATTEMPTS))
        self.assertEqual(len(self.call_lines), REG_ATTEMPTS)
        self.assertTrue(str(raised.exception).endswith("'Version' failed (1): " + REFUSAL),
                        raised.exception)


if __name__ == "__main__":
    unittest.main(testRunner=unittest.TextTestRunner(verbosity=2, resultclass=NamedSkips))
