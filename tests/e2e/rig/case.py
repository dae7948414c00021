"""The base of every end-to-end test class and the main of a test file.
Importing this module changes nothing."""

import unittest

from .core import EmulationRefused, Rig, exit_through_cleanups_on_sigterm
from .target import Target


class RigTestCase(unittest.TestCase):
    """A test class sharing one started Rig (`cls.rig`) for all its cases;
    the rig is closed, with every process it started, after the last one.
    Every case's name carries the build it ran against."""

    rig_extra_env = None

    @classmethod
    def setUpClass(cls):
        cls.rig = Rig(extra_env=cls.rig_extra_env)
        cls.addClassCleanup(cls.rig.close)  # also after a start cut short
        try:
            cls.rig.start()
        except EmulationRefused as refused:
            raise unittest.SkipTest(str(refused))

    def __str__(self):
        return "%s [%s]" % (super().__str__(), Target().build)

    def id(self):
        return "%s[%s]" % (super().id(), Target().build)


class NamedSkips(unittest.TextTestResult):
    """Writes every skipped case with its reason on a line of its own,
    "skipped: CASE: REASON", which scripts/run-tests.sh lists in its summary:
    ctest counts a file with a skipped case as passed."""

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        self.stream.writeln("skipped: %s: %s" % (test.id(), " ".join(str(reason).split())))
        self.stream.flush()


def run_tests():
    """The main of an end-to-end test file: names the build, then runs."""
    exit_through_cleanups_on_sigterm()
    target = Target()
    print("end-to-end [%s]: %s, %s, %s" % (target.build, target.updater, target.wine.name,
                                           target.how), flush=True)
    unittest.main(testRunner=unittest.TextTestRunner(verbosity=2, resultclass=NamedSkips))
