"""The end-to-end rig: runs a Windows build of the updater under Wine, on a
private X display, in a private Wine prefix whose code page is 932.

Modules, one concern each (importing any of them starts or changes nothing):
    common    paths, the product's registry keys, cp932(), snapshot(), RigError
    machine   which builds this machine can run (the probe), and the
              user-mode emulation of the 32-bit loader
    display   Xvfb
    prefix    the two kinds of Wine and a private prefix for one of them
    registry  seeding HKEY_LOCAL_MACHINE in the 32-bit view
    tool      the test tool's output protocol
    target    Target: the build under test, its programs and its Wine
    process   Process (a program started under Wine), SilentRun
    core      Rig: the display, prefix, registry, files, small disks that
              fill up, processes and tool of one build, together;
              `python3 -m rig setup`
    case      RigTestCase (the base of every test class), run_tests(), and
              NamedSkips (every skipped case named with its reason)
    fleet     Machine: one more Windows machine (a prefix, server and
              documents folder of its own, no display) beside the rig's

`python3 -m rig setup` (from tests/e2e) makes the prefix of the build named by
E2E_BUILD and checks the code page; ctest runs it as the fixture e2e_setup.
"""

from .common import (DLL_OVERRIDES, PRODUCT_KEYS, TORVEN_071, TORVEN_KEY, TORVEN_LOG_FILE,
                     TORVEN_LOG_FOLDER, VANTRIX_KEY, RigError, cp932, read_bytes, snapshot)
from .case import RigTestCase, run_tests
from .core import Rig
from .process import Process, SilentRun
from .target import Target
from .tool import ToolOutput

__all__ = [
    "DLL_OVERRIDES", "PRODUCT_KEYS", "TORVEN_071", "TORVEN_KEY", "TORVEN_LOG_FILE",
    "TORVEN_LOG_FOLDER", "VANTRIX_KEY", "RigError", "cp932", "read_bytes", "snapshot",
    "Process", "Rig", "RigTestCase", "SilentRun", "Target", "run_tests", "ToolOutput",
]
