"""Which Windows builds this machine can run under Wine, and how, found by
probing; and the user-mode emulation that runs the 32-bit build where the
kernel executes 64-bit code only.

Some x86-64 machines cannot execute 32-bit code at all (their kernel has
IA-32 emulation off): there the 32-bit Wine loader fails with "Exec format
error". The 32-bit build then runs in a 64-bit prefix, its 32-bit processes
under qemu-i386 (qemu-user), which the rig registers with binfmt_misc while
it runs and removes afterwards. The probe executes both loaders and believes
what happens, nothing else.

    python3 -m rig probe              prints the verdict's headline, then one
                                      line per build: "win32 native",
                                      "win32 emulated" or "win64 native"
"""

import errno
import fcntl
import os
import subprocess
import tempfile

from .common import RigError

WINE32_LOADER = "/usr/lib/wine/wine"
WINE64_LOADER = "/usr/lib/wine/wine64"
WINESERVER64 = "/usr/lib/wine/wineserver64"

# Set to 1 to run the 64-bit build alone, on any machine.
FORCE_64_VARIABLE = "E2E_64BIT_ONLY"
# Runs the 32-bit build as a machine that cannot execute 32-bit code must:
# in a 64-bit prefix, its 32-bit processes under the emulator (which the
# kernel then prefers to its own loader), so that path is proven anywhere.
FORCE_EMULATION_VARIABLE = "E2E_EMULATE_32BIT"

BINFMT_DIR = "/proc/sys/fs/binfmt_misc"
EMULATION_ENTRY = "updater-e2e-i386"
# qemu-user (static binaries) from bookworm-backports: bookworm's own 7.2
# spends about a minute on every 32-bit process start.
QEMU_I386 = "/usr/bin/qemu-i386"
# The standard magic and mask of an i386 ELF executable or shared object.
I386_MAGIC = r"\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
I386_MASK = r"\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"

NO_32_BIT = "this machine cannot execute 32-bit code"

# Held (shared) by every run that uses the entry, for as long as it does:
# binfmt_misc is machine-wide, so a probe must not take a live entry for one
# that a killed run left behind, and the last run to let go removes it.
LOCK_PATH = os.path.join(tempfile.gettempdir(), EMULATION_ENTRY + ".lock")
_held_lock = None


class Verdict:
    """What the probe found: `builds` to run the whole suite against,
    whether 32-bit code runs natively, and why a build runs emulated or is
    left out."""

    def __init__(self, builds, native32, reason=""):
        self.builds = tuple(builds)
        self.native32 = native32
        self.reason = reason

    def how(self, build):
        """"native" or "emulated": how the build's programs run here."""
        return "emulated" if build == "win32" and not self.native32 else "native"

    @property
    def headline(self):
        if "win32" not in self.builds:
            return "end-to-end: 64-bit build only: " + self.reason
        if self.native32:
            return "end-to-end: 32-bit and 64-bit builds: this machine executes 32-bit code"
        return ("end-to-end: 32-bit build in a 64-bit prefix under %s, 64-bit build natively: %s"
                % (os.path.basename(QEMU_I386), self.reason))

    def lines(self):
        """The headline, then "BUILD HOW" for every build."""
        return [self.headline] + ["%s %s" % (build, self.how(build)) for build in self.builds]

    def __repr__(self):
        return "Verdict(%r, native32=%r, %r)" % (self.builds, self.native32, self.reason)


def run_version(argv):
    """Runs `argv --version`; (True, output) when it ran and ended with 0,
    else (False, the cause in a few words). An i386 program on a kernel
    without 32-bit support fails at execve with ENOEXEC."""
    try:
        result = subprocess.run(argv + ["--version"], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    except FileNotFoundError:
        return False, "%s is not installed" % argv[0]
    except OSError as error:
        if error.errno == errno.ENOEXEC:
            return False, "%s: exec format error" % argv[0]
        return False, "%s: %s" % (argv[0], error.strerror)
    except subprocess.TimeoutExpired:
        return False, "%s --version did not end within 120 s" % argv[0]
    output = result.stdout.decode(errors="replace").strip().splitlines()
    if result.returncode != 0:
        last = output[-1] if output else "no output"
        return False, "%s --version ended with %d: %s" % (argv[0], result.returncode, last)
    return True, output[0] if output else ""


def foreign_i386_entries(binfmt_dir=BINFMT_DIR):
    """Enabled binfmt_misc entries of others that divert i386 programs to an
    emulator; with one of them the 32-bit loader runs, but not natively."""
    found = []
    try:
        names = os.listdir(binfmt_dir)
    except OSError:
        return found
    for name in names:
        if name in ("register", "status", EMULATION_ENTRY):
            continue
        try:
            with open(os.path.join(binfmt_dir, name)) as f:
                text = f.read()
        except OSError:
            continue
        if text.startswith("enabled") and "magic 7f454c4601010100000000000000000002000300" in text:
            found.append(name)
    return found


def emulation_in_use(binfmt_dir=BINFMT_DIR, lock_path=LOCK_PATH):
    """True when this rig's entry is registered by a run that is still going.
    An entry that no run holds was left by a killed one and is removed here:
    it would make the 32-bit loader look as if it ran natively."""
    if not os.path.exists(_entry(binfmt_dir)):
        return False
    with open(lock_path, "a") as lock:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            return True
        _remove_entry(binfmt_dir)
    return False


def probe(env=None, run=run_version, binfmt_dir=BINFMT_DIR, lock_path=LOCK_PATH):
    """The verdict for this machine. Raises RigError, with the cause in one
    line, when the 64-bit Wine (which every machine must run) cannot start."""
    env = os.environ if env is None else env
    emulated = emulation_in_use(binfmt_dir, lock_path)
    ok64, detail64 = run([WINE64_LOADER])
    if not ok64:
        raise RigError("no Wine can start: " + detail64)
    ok32, detail32 = run([WINE32_LOADER])
    diverted = foreign_i386_entries(binfmt_dir)
    runs32 = True  # the 32-bit build runs, natively or emulated
    forced = env.get(FORCE_EMULATION_VARIABLE, "") not in ("", "0")
    if forced and ok32:
        native32, reason = False, "forced by %s=%s" % (FORCE_EMULATION_VARIABLE, env[FORCE_EMULATION_VARIABLE])
    elif emulated:
        # Registered only where 32-bit code did not run natively.
        native32, reason = False, NO_32_BIT
    elif ok32 and diverted:
        native32, reason = False, "32-bit programs run only under the emulator of binfmt_misc " \
                                  "entry %s" % ", ".join(diverted)
    elif ok32:
        native32, reason = True, ""
    elif "exec format error" in detail32:
        native32, reason = False, NO_32_BIT
    else:
        native32, runs32 = False, False
        reason = "the 32-bit Wine cannot start (%s)" % detail32
    if env.get(FORCE_64_VARIABLE, "") not in ("", "0"):
        return Verdict(("win64",), native32, "forced by %s=%s" % (FORCE_64_VARIABLE,
                                                                  env[FORCE_64_VARIABLE]))
    return Verdict(("win32", "win64") if runs32 else ("win64",), native32, reason)


_native32 = None


def runs_32_bit_natively():
    """The probe's answer for this process, asked once (before the rig
    registers anything)."""
    global _native32
    if _native32 is None:
        _native32 = probe().native32
    return _native32


# ---- user-mode emulation of the 32-bit loader ----------------------------

def _entry(binfmt_dir):
    return os.path.join(binfmt_dir, EMULATION_ENTRY)


def enable_emulation(binfmt_dir=BINFMT_DIR, mount=True, lock_path=LOCK_PATH):
    """Registers qemu-i386 for i386 programs (flag F: the emulator is opened
    now, so it works in every mount namespace), or joins the entry that
    another live run registered. Only for machines that cannot execute 32-bit
    code: elsewhere it would divert every 32-bit program. Holds the lock
    until remove_emulation(). Returns (True, what was done) or (False, why
    it cannot be)."""
    if not os.path.isfile(QEMU_I386):
        return False, "%s is not installed (qemu-user, scripts/install-deps.sh)" % QEMU_I386
    register = os.path.join(binfmt_dir, "register")
    if not os.path.exists(register) and mount:
        result = subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", binfmt_dir],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
        if result.returncode != 0:
            return False, "binfmt_misc cannot be mounted: %s" % (
                result.stdout.decode(errors="replace").strip() or "mount failed")
    if not os.path.exists(register):
        return False, "binfmt_misc is not available at %s" % binfmt_dir
    global _held_lock
    _release_lock()
    _held_lock = open(lock_path, "a")
    # Blocks only while a probe checks for a left-over entry (a moment).
    fcntl.flock(_held_lock, fcntl.LOCK_SH)
    if os.path.exists(_entry(binfmt_dir)):
        return True, "joined binfmt_misc entry %s of another run: i386 programs run under %s" % (
            EMULATION_ENTRY, QEMU_I386)
    line = ":%s:M::%s:%s:%s:F" % (EMULATION_ENTRY, I386_MAGIC, I386_MASK, QEMU_I386)
    try:
        with open(register, "w") as f:
            f.write(line)
    except OSError as error:
        _release_lock()
        return False, "binfmt_misc refused the i386 entry: %s" % error.strerror
    return True, "registered binfmt_misc entry %s: i386 programs run under %s" % (
        EMULATION_ENTRY, QEMU_I386)


def _release_lock():
    global _held_lock
    if _held_lock is not None:
        _held_lock.close()
        _held_lock = None


def _remove_entry(binfmt_dir):
    entry = _entry(binfmt_dir)
    if not os.path.exists(entry):
        return False
    try:
        with open(entry, "w") as f:
            f.write("-1")  # what binfmt_misc takes as "remove"
    except OSError as error:
        raise RigError("cannot remove binfmt_misc entry %s: %s" % (entry, error.strerror))
    return True


def remove_emulation(binfmt_dir=BINFMT_DIR):
    """Lets go of the entry that enable_emulation() registered or joined, and
    removes it when no other run still holds it. True when it was removed.
    (Two runs letting go at the same moment may both leave it: the next
    probe then removes it as left over.)"""
    if _held_lock is None:
        return False
    try:
        try:
            fcntl.flock(_held_lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            return False  # another run still uses it
        return _remove_entry(binfmt_dir)
    finally:
        _release_lock()


def main():
    try:
        verdict = probe()
    except RigError as error:
        print("end-to-end: %s" % error)
        return 1
    for line in verdict.lines():
        print(line)
    return 0
