"""The Windows build under test: which one, its programs, where its rig works
and which Wine runs it. Importing this module changes nothing."""

import os

from .common import SOURCE_ROOT, RigError, env_path
from .machine import runs_32_bit_natively
from .prefix import WINE32, WINE64

BUILDS = ("win32", "win64")


class Target:
    """The Windows build under test, the programs that test it, where its rig
    works and which Wine runs it. Taken from the environment that ctest sets
    (E2E_BUILD, E2E_UPDATER, E2E_TOOL, E2E_TOOL64, E2E_PLANTED_DLL,
    E2E_PLANT_PROBE, E2E_WORK, E2E_WOW64); without it, from the default build
    folders.

    The 32-bit build runs in a 64-bit prefix (`wow64`) where this machine
    cannot execute 32-bit code, its 32-bit processes under the emulator
    (`emulated`), driven by the 64-bit test tool; elsewhere under the 32-bit
    Wine. E2E_WOW64=1 or 0 chooses the prefix on any machine. A 64-bit
    prefix lives in E2E_WORK + "-wow64"."""

    def __init__(self, build=None, env=None):
        env = os.environ if env is None else env
        self.build = build or env.get("E2E_BUILD", "win32")
        if self.build not in BUILDS:
            raise RigError("unknown build %r (one of %s)" % (self.build, ", ".join(BUILDS)))
        choice = env.get("E2E_WOW64", "")
        if self.build == "win64":
            self.wow64 = self.emulated = False
        else:
            self.wow64 = choice == "1" or (choice != "0" and not runs_32_bit_natively())
            self.emulated = self.wow64 and not runs_32_bit_natively()
        folder = os.path.join(SOURCE_ROOT, "build", self.build)

        def path(name, default):
            return env_path(name, default) if build is None or build == env.get("E2E_BUILD") \
                else default

        self.work = path("E2E_WORK", os.path.join(folder, "e2e"))
        if self.wow64:
            self.work += "-wow64"
        self.updater = path("E2E_UPDATER", os.path.join(folder, "updater.exe"))
        if self.wow64:
            self.tool_exe = path("E2E_TOOL64", os.path.join(SOURCE_ROOT, "build", "win64", "tests",
                                                            "e2e", "e2etool.exe"))
        else:
            self.tool_exe = path("E2E_TOOL", os.path.join(folder, "tests", "e2e", "e2etool.exe"))
        self.planted_dll = path("E2E_PLANTED_DLL",
                                os.path.join(folder, "tests", "e2e", "planted", "version.dll"))
        self.plant_probe = path("E2E_PLANT_PROBE",
                                os.path.join(folder, "tests", "e2e", "plantprobe.exe"))
        self.wine = WINE64 if self.build == "win64" or self.wow64 else WINE32

    @property
    def how(self):
        """How this build runs here, in a few words."""
        if self.emulated:
            return "in a 64-bit prefix, 32-bit processes under qemu-i386"
        if self.wow64:
            return "in a 64-bit prefix"
        return "natively"

    @property
    def bits(self):
        return 64 if self.build == "win64" else 32

    def __repr__(self):
        return "Target(%s %s, %s)" % (self.build, self.how, self.wine.name)
