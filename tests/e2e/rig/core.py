"""The rig: one Windows build under Wine on a private display, with its
processes, registry, files and the test tool, for one test file or script.
`python3 -m rig setup` runs setup_main(). Importing this module changes nothing."""

import fcntl
import os
import re
import shutil
import signal
import subprocess
import sys
import time

from .common import EXPECTED_CODE_PAGE, LOCALE, RigError
from .display import Display
from .machine import enable_emulation, remove_emulation
from .prefix import TOOL_DEBUG, WinePrefix
from .process import Process, SilentRun
from .registry import Registry
from .target import Target
from .tool import ToolOutput

LOCK_TIMEOUT = 900
READER_ATTEMPTS = 2


class EmulationRefused(RigError):
    """The machine refused the emulator that the 32-bit build needs here:
    the one reason a part of the suite is skipped. Its text is one line."""


class Rig:
    """Typical use, one rig for a whole test file:

        with Rig() as rig:
            rig.reset()
            rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", r"C:\\Prod\\")
            exe = rig.stage_updater(rig.scratch("stage"))
            proc = rig.start_updater(["/TORVEN", "7.1.0.12", "Pkg"], exe=exe)
            box = rig.tool("box")                  # reads the message box and presses OK
            assert rig.wait_exit(proc) == 0

    Under `work`: prefix/ (made once, then reused), locale/, home/ (HOME of
    every Wine process), cases/ (scratch folders, emptied by reset()), logs/
    (output of every program started), artifacts/ (screenshots). Every wait
    is a bounded poll; every process is ended by its id."""

    def __init__(self, target=None, extra_env=None):
        self.target = target or Target()
        self.build = self.target.build
        self.work = self.target.work
        self.updater = self.target.updater
        self.tool_exe = self.target.tool_exe
        self.planted_dll = self.target.planted_dll
        self.plant_probe = self.target.plant_probe
        self.wine_prefix = WinePrefix(self.work, self.target.wine, extra_env)
        self.prefix = self.wine_prefix.path
        self.registry = Registry(self.wine_prefix)
        self.display_server = Display(self.work)
        self.cases = os.path.join(self.work, "cases")
        self.artifacts = os.path.join(self.work, "artifacts")
        self.logs = os.path.join(self.work, "logs")
        self._lock_file = None
        self._emulating = False
        self._processes = []
        self._drives = {}
        self._disks = []
        self._counter = 0

    @property
    def display(self):
        return self.display_server.name

    @property
    def documents(self):
        return self.wine_prefix.documents

    # ---- life cycle ---------------------------------------------------------

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def start(self):
        """Lock, emulator (where needed), locale, Xvfb, prefix, wineserver -p
        and one GetACP() check."""
        os.makedirs(self.work, exist_ok=True)
        self._take_lock()
        self._check_programs()
        self._start_emulation()
        self.wine_prefix.ensure_locale()
        self.display_server.kill_stale()
        self.display_server.start()
        self.wine_prefix.display = self.display
        self.wine_prefix.ensure()
        self.wine_prefix.start_server()
        shutil.rmtree(self.logs, ignore_errors=True)
        for folder in (self.cases, self.artifacts, self.logs):
            os.makedirs(folder, exist_ok=True)
        self._check_code_page()

    def close(self):
        """Ends every process the rig started, by id, then the server and Xvfb,
        and unmounts its small disks."""
        self._kill_started()
        self.unmount_disks()
        self.wine_prefix.stop_server()
        self.display_server.stop()
        if self._emulating:
            remove_emulation()
            self._emulating = False
        if self._lock_file:
            self._lock_file.close()
            self._lock_file = None

    def _take_lock(self):
        # One rig at a time per work folder: they share the prefix and its server.
        self._lock_file = open(os.path.join(self.work, "rig.lock"), "w")
        deadline = time.monotonic() + LOCK_TIMEOUT
        while True:
            try:
                fcntl.flock(self._lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return
            except BlockingIOError:
                if time.monotonic() > deadline:
                    raise RigError("another rig holds %s/rig.lock" % self.work)
                time.sleep(0.2)

    def _start_emulation(self):
        # binfmt_misc is machine-wide: the entry lives only while this rig does.
        if not self.target.emulated:
            return
        registered, message = enable_emulation()
        print("end-to-end [%s]: %s" % (self.build, message), flush=True)
        if not registered:
            raise EmulationRefused("32-bit part skipped: " + message)
        self._emulating = True

    def _check_programs(self):
        if not os.path.isfile(self.tool_exe):
            raise RigError("missing %s: build the %s preset first"
                           % (self.tool_exe, "win64" if self.target.wow64 else self.build))
        loader = self.target.wine.loader[0]
        if shutil.which(loader) is None or shutil.which("Xvfb") is None:
            raise RigError("%s or Xvfb is not installed (scripts/install-deps.sh)" % loader)

    def _check_code_page(self):
        out = self.tool("acp")
        if out.get("acp") != str(EXPECTED_CODE_PAGE).encode():
            raise RigError("Wine's ANSI code page is %r, not %d: the Japanese locale is not "
                           "in effect (LOCPATH=%s, LANG=%s)"
                           % (out.get("acp"), EXPECTED_CODE_PAGE, self.wine_prefix.locale_dir,
                              LOCALE))

    def wine_env(self, env_extra=None):
        """The environment every Wine process of this rig gets."""
        return self.wine_prefix.env(env_extra)

    def wine_command(self, *args):
        """The command line that runs a Windows program or Wine tool here."""
        return self.wine_prefix.command(*args)

    # ---- registry -----------------------------------------------------------

    def reg_add(self, key, name, type_, data):
        """Writes one value in the 32-bit view of HKEY_LOCAL_MACHINE."""
        self.registry.add(key, name, type_, data)

    def reg_delete(self, key):
        self.registry.delete(key)

    # ---- files and drives ---------------------------------------------------

    def scratch(self, name):
        """A new, empty folder under cases/ for this test case."""
        path = os.path.join(self.cases, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def stage_updater(self, folder, name="updater.exe"):
        """Copies updater.exe into folder, as a user would put it beside its payload."""
        if not os.path.isfile(self.updater):
            raise RigError("missing %s: build the %s preset first" % (self.updater, self.build))
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name)
        shutil.copyfile(self.updater, path)
        return path

    def map_drive(self, letter, folder):
        """Makes LETTER: a drive of the prefix whose root folder is folder."""
        letter = letter.lower().rstrip(":")
        if letter in ("c", "z") or len(letter) != 1 or not letter.isalpha():
            raise RigError("drive letter %r cannot be mapped" % letter)
        link = self.wine_prefix.dosdevice(letter)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(os.path.abspath(folder), link)
        self._drives[letter] = os.path.abspath(folder)

    def _unmap_drives(self):
        dosdevices = os.path.dirname(self.wine_prefix.dosdevice("c"))
        for name in os.listdir(dosdevices):
            link = os.path.join(dosdevices, name)
            if re.fullmatch(r"[a-y]:", name) and name != "c:" and os.path.islink(link):
                if os.path.realpath(link).startswith(os.path.realpath(self.work) + os.sep):
                    os.unlink(link)
        self._drives = {}

    def mount_small_disk(self, folder, size):
        """Mounts a tmpfs of `size` (as mount(8) reads it: "192k") over folder,
        so that writes below it run out of space. Needs root. Returns None, or
        the machine's refusal in one line; unmount_disks(), reset() and close()
        unmount it."""
        try:
            done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", folder],
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        except OSError as error:
            return "mount: %s" % error
        if done.returncode != 0:
            said = " ".join(done.stderr.decode(errors="replace").split())
            return said or "mount ended with %d" % done.returncode
        self._disks.append(folder)
        return None

    def unmount_disks(self):
        """Unmounts every small disk, lazily: a file Wine still holds open
        there does not keep the mount."""
        while self._disks:
            subprocess.run(["umount", "-l", self._disks.pop()], stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=30)

    def windows_path(self, path):
        """The Windows path of a Unix path: through a mapped drive when one holds it."""
        path = os.path.abspath(path)
        best = None
        for letter, root in self._drives.items():
            if path == root or path.startswith(root.rstrip("/") + "/"):
                if best is None or len(root) > len(best[1]):
                    best = (letter, root)
        if best:
            rest = path[len(best[1]):].lstrip("/")
            return best[0].upper() + ":\\" + rest.replace("/", "\\")
        return "Z:" + path.replace("/", "\\")

    def reset(self):
        """Puts the prefix back as a new case expects it: no product registered, an
        empty documents folder, no scratch folders, no extra drives or disks."""
        self._kill_started()
        self.unmount_disks()
        self.registry.forget_products()
        for name in os.listdir(self.documents):
            path = os.path.join(self.documents, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.unlink(path)
        self._unmap_drives()
        shutil.rmtree(self.cases, ignore_errors=True)
        os.makedirs(self.cases)

    # ---- processes ----------------------------------------------------------

    def start_program(self, exe, args=(), cwd=None, env_extra=None, prefix=None):
        """Starts a Windows program (Unix path); args are passed as they are
        (Wine quotes those with blanks, and empty ones, with double quotes).
        It runs in the rig's prefix, or in `prefix` (a fleet's machine)."""
        prefix = prefix or self.wine_prefix
        # Output goes to files, not pipes: Wine's background services inherit
        # the handles, so a pipe would not reach its end when the program ends.
        self._counter += 1
        base = os.path.join(self.logs, "%03d-%s" % (self._counter, os.path.basename(exe)))
        with open(base + ".out", "wb") as out, open(base + ".err", "wb") as err:
            popen = subprocess.Popen(prefix.command(self.windows_path(exe), *args),
                                     cwd=cwd or self.cases, env=prefix.env(env_extra),
                                     stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                     start_new_session=True)
        proc = Process(popen, os.path.basename(exe), base, args)
        self._processes.append(proc)
        return proc

    def start_updater(self, args, exe=None, cwd=None, env_extra=None):
        """Starts updater.exe with args. Without exe, a copy is staged in a new empty
        folder first, so that the run never sees any payload."""
        if exe is None:
            exe = self.stage_updater(self.scratch("bare"))
        return self.start_program(exe, args, cwd=cwd, env_extra=env_extra)

    def wait_exit(self, proc, timeout=20):
        """The program's exit code; on time-out it is killed and TimeoutError raised."""
        try:
            code = proc.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self._kill(proc)
            raise TimeoutError("%r did not end within %s s" % (proc, timeout))
        proc.read_output()
        return code

    def kill(self, proc):
        """Ends a started program, and what it started, at once by its id."""
        self._kill(proc)

    def _kill(self, proc):
        if proc.popen.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            try:
                proc.popen.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        proc.read_output()

    def _kill_started(self):
        for proc in self._processes:
            self._kill(proc)
        self._processes = []

    # ---- the test tool ------------------------------------------------------

    def tool(self, *args, timeout=30):
        """Runs e2etool.exe with args and returns what it printed."""
        proc = self.start_program(self.tool_exe, args)
        return self.tool_finish(proc, timeout)

    def tool_start(self, *args, ready_timeout=15, prefix=None):
        """Starts e2etool.exe in the background and returns once it printed ready=1
        (for "nowindow", which must watch before the updater starts)."""
        proc = self.start_program(self.tool_exe, args, prefix=prefix)
        deadline = time.monotonic() + ready_timeout
        while b"ready=1\n" not in proc.read_output():
            if not proc.alive():
                break
            if time.monotonic() > deadline:
                self._kill(proc)
                raise TimeoutError("e2etool %r did not get ready" % (args,))
            time.sleep(0.02)
        return proc

    def tool_finish(self, proc, timeout=30):
        """Waits for a started tool and returns what it printed."""
        code = self.wait_exit(proc, timeout)
        if proc in self._processes:
            self._processes.remove(proc)
        return ToolOutput(proc.stdout, code, proc.args)

    # ---- whole runs ---------------------------------------------------------

    def run_updater_box(self, args, exe=None, cwd=None, env_extra=None, press="click",
                        timeout_ms=10000, exit_timeout=20):
        """Runs the updater up to its message box, reads and closes the box, and
        waits for the end. Returns (box ToolOutput, exit code); when no box came,
        the updater is ended and the exit code is None."""
        proc = self.start_updater(args, exe=exe, cwd=cwd, env_extra=env_extra)
        for attempt in range(1, READER_ATTEMPTS + 1):
            box = self._read_box(proc, timeout_ms, press)
            # A reader that ended having printed nothing never ran: the Wine
            # loader sometimes cannot start a process at all (see Registry.add).
            # Reading a box is safe to ask again; each failure is printed.
            if box.raw or box.returncode == 0 or not proc.alive() or attempt == READER_ATTEMPTS:
                break
            print("rig: e2etool box ended with %r before printing anything (attempt %d of %d): %s"
                  % (box.returncode, attempt, READER_ATTEMPTS, box.stderr.decode(errors="replace").strip()),
                  file=sys.stderr)
        if box.get("found") != b"1" and proc.alive():
            self._kill(proc)
            return box, None
        return box, self.wait_exit(proc, exit_timeout)

    def _read_box(self, proc, timeout_ms, press):
        reader = self.start_program(self.tool_exe, ["box", "--timeout-ms", str(timeout_ms), "--press", press],
                                    env_extra=TOOL_DEBUG)
        # Stop waiting for a box once the updater has ended without one. A
        # reader that pressed the box may not have printed it yet when the
        # updater ends: it gets a bounded while to finish on its own.
        ended_at = None
        while reader.alive():
            if not proc.alive() and b"found=" not in reader.read_output():
                ended_at = ended_at or time.monotonic()
                if time.monotonic() - ended_at > 3:
                    self._kill(reader)
                    break
            time.sleep(0.02)
        box = self.tool_finish(reader, timeout=timeout_ms / 1000 + 30)
        box.stderr = reader.stderr
        return box

    def run_updater_silent(self, args, exe=None, cwd=None, env_extra=None, watch_ms=1500,
                           exit_timeout=20):
        """Runs the updater while e2etool watches for any visible window of it.
        Returns a SilentRun. The watch stops early when the updater ends, since
        a process that has ended shows nothing any more; a modal box would keep
        the updater from ending, so it is always seen."""
        name = os.path.basename(exe) if exe else "updater.exe"
        watch = self.tool_start("nowindow", "--ms", str(watch_ms), "--exe", name)
        proc = self.start_updater(args, exe=exe, cwd=cwd, env_extra=env_extra)
        deadline = time.monotonic() + exit_timeout
        while watch.alive() and proc.alive() and time.monotonic() < deadline:
            time.sleep(0.02)
        if watch.alive() and not proc.alive():
            self._kill(watch)
        seen = ToolOutput(watch.read_output(), watch.popen.poll(), watch.args)
        window_seen = "window_class" in seen
        if window_seen:
            self._kill(proc)
            code = None
        else:
            code = self.wait_exit(proc, max(1.0, deadline - time.monotonic()))
        self._kill(watch)
        return SilentRun(code, window_seen, seen)

    # ---- runs started as a deployment tool starts them -----------------------

    def launch_updater(self, args, exe, release, timeout_ms=120000, prefix=None):
        """Starts updater `exe` with args through e2etool, as a deployment
        tool would: the updater is held suspended until the file `release`
        (a Unix path) exists, so that several runs can be let go at once.
        finish_launch() gives its exit code as Windows gives it: a Unix
        parent of Wine sees only its lowest 8 bits (1605 reads as 69)."""
        return self.tool_start("suspended", "--release", self.windows_path(release), "--timeout-ms",
                               str(timeout_ms), self.windows_path(exe), *args, prefix=prefix)

    def finish_launch(self, launcher, timeout=150):
        """The launched updater's exit code; None when it did not end in time."""
        out = self.tool_finish(launcher, timeout)
        return out.number("exit") if "exit" in out else None

    # ---- pictures -----------------------------------------------------------

    def screenshot(self, path, window_class=None):
        """Saves the screen, or the part under one window of another process, as
        PNG. The pixels come from the X server (xwd): in Wine, one process
        cannot read another's window contents back through GDI."""
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        crop = []
        if window_class:
            out = self.tool("rect", "--class", window_class, "--timeout-ms", "5000")
            if out.returncode != 0:
                raise RigError("no %s window to take a picture of" % window_class)
            left, top, right, bottom = (int(n) for n in out.text("rect").split(","))
            crop = ["-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage"]
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display],
                             stdout=subprocess.PIPE, check=True, timeout=60)
        subprocess.run(["convert", "xwd:-"] + crop + [path], input=xwd.stdout, check=True,
                       timeout=60)
        return path


def _terminate_on_signal(signum, frame):
    # ctest ends a test that ran too long with SIGTERM: leave through the
    # context managers so that every started process is ended.
    raise SystemExit(128 + signum)


def exit_through_cleanups_on_sigterm():
    signal.signal(signal.SIGTERM, _terminate_on_signal)


def setup_main():
    """`python3 -m rig setup`: builds the prefix and checks the code page once."""
    exit_through_cleanups_on_sigterm()
    started = time.monotonic()
    try:
        with Rig() as rig:
            out = rig.tool("acp")
            print("[%s] prefix %s ready (%s, %s), display %s, ANSI code page %s, documents %s "
                  "(%.1f s)" % (rig.build, rig.prefix, rig.target.wine.name, rig.target.how,
                                rig.display, out.text("acp"), rig.documents,
                                time.monotonic() - started))
    except EmulationRefused as refused:
        print(refused)
        return 0
    return 0


if __name__ == "__main__":
    sys.exit(setup_main())
