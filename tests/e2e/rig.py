"""The end-to-end rig: runs the real updater.exe under Wine, on a private X
display, in a private Wine prefix whose code page is 932.

Typical use, one rig for a whole test file:

    with Rig() as rig:
        rig.reset()
        rig.reg_add(r"\\SOFTWARE\\ORMIKA\\TORVENZAIMU071", "RootDir", "REG_SZ", r"C:\\Prod\\")
        stage = rig.scratch("stage")
        exe = rig.stage_updater(stage)
        proc = rig.start_updater(["/TORVEN", "7.1.0.12", "Pkg"], exe=exe)
        box = rig.tool("box")                  # reads the message box and presses OK
        assert box.text("title") == "情報"
        assert rig.wait_exit(proc) == 0

Where things live (all under E2E_WORK, by default build/win32/e2e):
    prefix/    the Wine prefix, made once per build folder (wineboot -i), then reused
    locale/    the ja_JP.UTF-8 locale compiled with localedef (LOCPATH points here)
    home/      HOME of every Wine process, so nothing touches the real home folder
    cases/     scratch folders of the current test case (emptied by reset())
    logs/      standard output and error of every program the rig started
    artifacts/ screenshots and other files a person may want to look at

Paths to the programs come from the environment that ctest sets (see
CMakeLists.txt): E2E_UPDATER, E2E_TOOL, E2E_PLANTED_DLL, E2E_PLANT_PROBE,
E2E_WORK. When they are missing, the default build folder build/win32 is used.

Public API of Rig (every wait is a bounded poll; every process is ended by id):
    Rig(work=None, updater=None, tool=None)   paths; nothing starts before __enter__
    start() / close()                 what __enter__ / __exit__ do: lock, locale,
                                      prefix, Xvfb, wineserver -p, one GetACP() check
    reset()                           empties the product registry keys, the
                                      documents folder, the scratch folders and
                                      the extra drive letters
    reg_add(key, name, type, data)    wine reg add ... /reg:32 (key "\\SOFTWARE\\..."
                                      or "HKLM\\..."; trailing blanks kept)
    reg_delete(key)                   wine reg delete ... /f /reg:32 (missing is fine)
    scratch(name)                     a new empty folder under cases/
    documents                         Unix path of the user's documents folder
    stage_updater(folder, name)       copies updater.exe into folder; returns its path
    map_drive(letter, folder)         makes LETTER: a drive whose root is folder
    windows_path(path)                the Windows path of a Unix path (mapped
                                      drive letters first, else Z:)
    start_updater(args, exe=None, cwd=None, env_extra=None)
                                      starts updater.exe (a freshly staged copy in
                                      an empty folder when exe is None) -> Process
    start_program(exe, args, cwd=None, env_extra=None)
                                      the same for any Windows program
    wait_exit(proc, timeout=20)       its exit code; kills it and raises on time-out
    tool(*args, timeout=30)           runs e2etool.exe; -> ToolOutput (key=value)
    tool_start(*args)                 starts e2etool.exe and waits for "ready=1"
    tool_finish(handle, timeout=30)   waits for a started tool; -> ToolOutput
    run_updater_box(args, exe=None, cwd=None, env_extra=None, press="click")
                                      start, read and close the box, wait for the
                                      end -> (box ToolOutput, exit code)
    run_updater_silent(args, exe=None, cwd=None, env_extra=None, watch_ms=1500)
                                      start while watching that no window of it
                                      shows -> SilentRun(exit_code, window_seen, watch)
    screenshot(path, window_class=None)
                                      saves the screen (or one window) as PNG
    wine_env(env_extra=None)          the environment every Wine process gets
Attributes: updater, tool_exe, planted_dll, plant_probe (program paths), work,
prefix, documents, cases, artifacts, logs (folders), display (":N").
DLL_OVERRIDES: the WINEDLLOVERRIDES every run gets; append ";name=n,b" to it
in env_extra to force a native DLL.

The tool's commands and the keys each prints are listed at the top of
tool/e2etool.cpp (box: title, text, icon, buttons, owner_title, ...;
progress: rect, size, screen, panel_text, owner_title, owner_visible, ...).

ToolOutput: out["key"] -> bytes (raw CP932), out.text("key") -> str,
out.number("key") -> int, "key" in out, out.returncode, out.raw.

Run "python3 rig.py setup" once to build the prefix and check the code page
(ctest does this as the fixture e2e_setup).
"""

import fcntl
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_ROOT = os.path.dirname(os.path.dirname(HERE))
DEFAULT_BUILD = os.path.join(SOURCE_ROOT, "build", "win32")

LOCALE = "ja_JP.UTF-8"
EXPECTED_CODE_PAGE = 932
SCREEN = "1024x768x24"

# The registry trees the product lines write to; reset() deletes both.
PRODUCT_KEYS = (r"HKLM\SOFTWARE\ORMIKA", r"HKLM\SOFTWARE\VANTRIXZAI")

# Folders of a new prefix that Wine links to the Unix home; each becomes a real
# folder so that a test never writes outside the prefix.
LINKED_USER_FOLDERS = ("Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos",
                       "Templates")

# No Mono/Gecko install prompts, no desktop menu entries. A test that adds
# overrides appends to this text.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"

# Written to prefix.ready once the prefix is made and set up; a prefix whose
# mark differs is set up again (not remade).
PREFIX_CONFIG = "config 3: private user folders, unmanaged windows, no crash dialog"

LOCK_TIMEOUT = 900
PREFIX_TIMEOUT = 300
XVFB_TIMEOUT = 15
SERVER_TIMEOUT = 30


class RigError(RuntimeError):
    """The rig could not set up what the tests need."""


def _env_path(name, default):
    value = os.environ.get(name)
    return os.path.abspath(value) if value else default


def _unescape(value):
    """Undoes the tool's escaping (\\\\, \\r, \\n, \\xNN), byte by byte."""
    out = bytearray()
    i = 0
    while i < len(value):
        byte = value[i]
        if byte == 0x5C and i + 1 < len(value):
            code = value[i + 1]
            if code == ord("r"):
                out.append(13)
                i += 2
                continue
            if code == ord("n"):
                out.append(10)
                i += 2
                continue
            if code == ord("x") and i + 3 < len(value):
                out.append(int(value[i + 2:i + 4], 16))
                i += 4
                continue
            out.append(code)
            i += 2
            continue
        out.append(byte)
        i += 1
    return bytes(out)


class ToolOutput:
    """What e2etool.exe printed: "key=value" lines, values as raw CP932 bytes."""

    def __init__(self, raw, returncode, args=()):
        self.raw = raw
        self.returncode = returncode
        self.args = tuple(args)
        self.values = {}
        for line in raw.split(b"\n"):
            line = line.rstrip(b"\r")
            if b"=" not in line:
                continue
            key, _, value = line.partition(b"=")
            self.values[key.decode("ascii", "replace")] = _unescape(value)

    def __getitem__(self, key):
        return self.values[key]

    def __contains__(self, key):
        return key in self.values

    def get(self, key, default=None):
        return self.values.get(key, default)

    def text(self, key):
        """The value decoded from code page 932."""
        return self.values[key].decode("cp932")

    def number(self, key):
        return int(self.values[key])

    def __repr__(self):
        shown = {k: v.decode("cp932", "replace") for k, v in self.values.items()}
        return "ToolOutput(%r, rc=%r, %r)" % (self.args, self.returncode, shown)


class Process:
    """A Windows program started under Wine (the Unix pid is the program's).
    Its output goes to the files log_base + ".out" and ".err"."""

    def __init__(self, popen, name, log_base, args=()):
        self.popen = popen
        self.pid = popen.pid
        self.name = name
        self.log_base = log_base
        self.args = tuple(args)
        self.stdout = b""
        self.stderr = b""

    def alive(self):
        return self.popen.poll() is None

    def read_output(self):
        """Reads what the program printed so far; returns standard output."""
        for attr, suffix in (("stdout", ".out"), ("stderr", ".err")):
            try:
                with open(self.log_base + suffix, "rb") as f:
                    setattr(self, attr, f.read())
            except OSError:
                pass
        return self.stdout

    def __repr__(self):
        return "Process(%s, pid=%d)" % (self.name, self.pid)


class SilentRun:
    """The result of run_updater_silent: the exit code (None when the updater
    had to be ended), whether a window of it was seen, and the watch's output."""

    def __init__(self, exit_code, window_seen, watch):
        self.exit_code = exit_code
        self.window_seen = window_seen
        self.watch = watch

    def __repr__(self):
        return "SilentRun(exit_code=%r, window_seen=%r, %r)" % (self.exit_code, self.window_seen,
                                                                 self.watch)


class Rig:
    def __init__(self, work=None, updater=None, tool=None):
        build = DEFAULT_BUILD
        self.work = work or _env_path("E2E_WORK", os.path.join(build, "e2e"))
        self.updater = updater or _env_path("E2E_UPDATER", os.path.join(build, "updater.exe"))
        self.tool_exe = tool or _env_path("E2E_TOOL", os.path.join(build, "tests", "e2e", "e2etool.exe"))
        self.planted_dll = _env_path("E2E_PLANTED_DLL",
                                     os.path.join(build, "tests", "e2e", "planted", "version.dll"))
        self.plant_probe = _env_path("E2E_PLANT_PROBE",
                                     os.path.join(build, "tests", "e2e", "plantprobe.exe"))
        self.prefix = os.path.join(self.work, "prefix")
        self.locale_dir = os.path.join(self.work, "locale")
        self.home = os.path.join(self.work, "home")
        self.cases = os.path.join(self.work, "cases")
        self.artifacts = os.path.join(self.work, "artifacts")
        self.logs = os.path.join(self.work, "logs")
        self.display = None
        self.documents = None
        self._lock_file = None
        self._xvfb = None
        self._server_started = False
        self._processes = []
        self._drives = {}
        self._counter = 0

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
        os.makedirs(self.work, exist_ok=True)
        self._take_lock()
        self._check_programs()
        self._ensure_locale()
        self._kill_stale_xvfb()
        self._start_xvfb()
        self._ensure_prefix()
        self._start_server()
        shutil.rmtree(self.logs, ignore_errors=True)
        for folder in (self.cases, self.artifacts, self.logs):
            os.makedirs(folder, exist_ok=True)
        self._check_code_page()

    def close(self):
        """Ends every process the rig started, by id, then the server and Xvfb."""
        for proc in self._processes:
            self._kill(proc)
        self._processes = []
        if self._server_started:
            self._wineserver("-k", check=False)
            self._wineserver("-w", check=False)
            self._server_started = False
        self._stop_xvfb()
        if self._lock_file:
            self._lock_file.close()
            self._lock_file = None

    def _take_lock(self):
        # One rig at a time per build folder: they share the prefix and its server.
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

    def _check_programs(self):
        for path in (self.tool_exe,):
            if not os.path.isfile(path):
                raise RigError("missing %s: build the win32 preset first" % path)
        if shutil.which("wine") is None or shutil.which("Xvfb") is None:
            raise RigError("wine or Xvfb is not installed (scripts/install-deps.sh)")

    # ---- environment --------------------------------------------------------

    def wine_env(self, env_extra=None):
        """The environment of every Wine process of this rig."""
        env = dict(os.environ)
        for name in ("LANGUAGE", "WINELOADER", "WINESERVER", "WINEARCH"):
            env.pop(name, None)
        env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "WINEPREFIX": self.prefix,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": DLL_OVERRIDES,
            "LOCPATH": self.locale_dir,
            "LANG": LOCALE,
            "LC_ALL": LOCALE,
        })
        if self.display:
            env["DISPLAY"] = self.display
        if env_extra:
            env.update(env_extra)
        return env

    def _ensure_locale(self):
        target = os.path.join(self.locale_dir, LOCALE)
        if os.path.isfile(os.path.join(target, "LC_CTYPE")):
            return
        os.makedirs(self.locale_dir, exist_ok=True)
        # localedef exits non-zero for mere warnings; the files decide.
        result = subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", target],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        if not os.path.isfile(os.path.join(target, "LC_CTYPE")):
            raise RigError("localedef failed: %s" % result.stdout.decode(errors="replace"))

    # ---- X display ----------------------------------------------------------

    def _kill_stale_xvfb(self):
        """Ends an Xvfb that an earlier, killed rig of this build left behind."""
        pid_file = os.path.join(self.work, "xvfb.pid")
        try:
            with open(pid_file) as f:
                pid = int(f.read().strip())
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                if b"Xvfb" in f.read().split(b"\0")[0]:
                    os.kill(pid, signal.SIGKILL)
        except (OSError, ValueError):
            pass
        try:
            os.unlink(pid_file)
        except OSError:
            pass

    def _start_xvfb(self):
        # -displayfd lets Xvfb take the first free display and tell us which.
        read_end, write_end = os.pipe()
        try:
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                start_new_session=True)
            os.close(write_end)
            write_end = None
            with open(os.path.join(self.work, "xvfb.pid"), "w") as f:
                f.write(str(self._xvfb.pid))
            number = b""
            deadline = time.monotonic() + XVFB_TIMEOUT
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or self._xvfb.poll() is not None:
                    raise RigError("Xvfb did not start")
                ready, _, _ = select.select([read_end], [], [], left)
                if ready:
                    chunk = os.read(read_end, 16)
                    if not chunk:
                        raise RigError("Xvfb closed its display pipe")
                    number += chunk
            self.display = ":" + number.decode().strip()
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)

    def _stop_xvfb(self):
        if self._xvfb is None:
            return
        if self._xvfb.poll() is None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait(timeout=5)
        self._xvfb = None
        try:
            os.unlink(os.path.join(self.work, "xvfb.pid"))
        except OSError:
            pass

    # ---- prefix and server --------------------------------------------------

    def _ready_mark(self):
        return os.path.join(self.work, "prefix.ready")

    def _ensure_prefix(self):
        if os.path.isdir(self.prefix) and self._read_mark() == PREFIX_CONFIG:
            self._find_documents()
            return
        if not (os.path.isdir(self.prefix) and self._read_mark()):
            self._create_prefix()
        self._configure_prefix()
        self._find_documents()
        with open(self._ready_mark(), "w") as f:
            f.write(PREFIX_CONFIG + "\n")

    def _read_mark(self):
        try:
            with open(self._ready_mark()) as f:
                return f.read().strip()
        except OSError:
            return ""

    def _create_prefix(self):
        # A prefix without the mark is a half-made one: start again.
        self._wineserver("-k", check=False)
        shutil.rmtree(self.prefix, ignore_errors=True)
        for name in ("home", "cases"):
            shutil.rmtree(os.path.join(self.work, name), ignore_errors=True)
        os.makedirs(self.home, exist_ok=True)
        subprocess.run(["wine", "wineboot", "-i"], env=self.wine_env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=PREFIX_TIMEOUT, check=False)
        self._wineserver("-w", check=False, timeout=PREFIX_TIMEOUT)
        if not os.path.isfile(os.path.join(self.prefix, "system.reg")):
            raise RigError("wineboot did not create the prefix %s" % self.prefix)
        with open(self._ready_mark(), "w") as f:
            f.write("created\n")

    def _configure_prefix(self):
        self._make_user_folders_private()
        # With no window manager on Xvfb, Wine waits 2 s for every "managed"
        # window it hides (it expects the manager to withdraw it); unmanaged
        # windows are drawn by Wine whole, frame and caption included.
        self._reg(["add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/t", "REG_SZ",
                   "/d", "N", "/f"])
        # A crashing program ends at once (with winedbg's backtrace on its
        # standard error) instead of waiting behind a crash dialog.
        self._reg(["add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t",
                   "REG_DWORD", "/d", "0", "/f"])
        self._wineserver("-w", check=False)

    def _user_folder(self):
        users = os.path.join(self.prefix, "drive_c", "users")
        names = [n for n in os.listdir(users) if n.lower() != "public"]
        if len(names) != 1:
            raise RigError("cannot tell the Wine user folder in %s: %r" % (users, names))
        return os.path.join(users, names[0])

    def _make_user_folders_private(self):
        user = self._user_folder()
        for name in LINKED_USER_FOLDERS:
            path = os.path.join(user, name)
            if os.path.islink(path):
                os.unlink(path)
            os.makedirs(path, exist_ok=True)

    def _find_documents(self):
        self.documents = os.path.join(self._user_folder(), "Documents")
        if os.path.islink(self.documents) or not os.path.isdir(self.documents):
            raise RigError("%s is not a private folder" % self.documents)

    def _wineserver(self, option, check=True, timeout=SERVER_TIMEOUT):
        result = subprocess.run(["wineserver", option], env=self.wine_env(),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                timeout=timeout, check=False)
        if check and result.returncode != 0:
            raise RigError("wineserver %s failed (%d)" % (option, result.returncode))
        return result.returncode

    def _start_server(self):
        # A server left from a killed run would still talk to an old display.
        self._wineserver("-k", check=False)
        self._wineserver("-w", check=False)
        self._wineserver("-p")
        self._server_started = True

    def _check_code_page(self):
        out = self.tool("acp")
        if out.get("acp") != str(EXPECTED_CODE_PAGE).encode():
            raise RigError("Wine's ANSI code page is %r, not %d: the Japanese locale is not "
                           "in effect (LOCPATH=%s, LANG=%s)"
                           % (out.get("acp"), EXPECTED_CODE_PAGE, self.locale_dir, LOCALE))

    # ---- registry -----------------------------------------------------------

    @staticmethod
    def _hklm(key):
        if key.upper().startswith(("HKLM\\", "HKEY_LOCAL_MACHINE\\")):
            return key
        return "HKLM\\" + key.lstrip("\\")

    def _reg(self, args):
        # No pipes: a Wine service started by this call would keep them open.
        result = subprocess.run(["wine", "reg"] + args, env=self.wine_env(), cwd=self.work,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=60)
        return result.returncode

    def reg_add(self, key, name, type_, data):
        """Writes one value in the 32-bit view of HKEY_LOCAL_MACHINE."""
        args = ["add", self._hklm(key), "/v", name, "/t", type_, "/d", str(data), "/f", "/reg:32"]
        code = self._reg(args)
        if code != 0:
            raise RigError("reg add %r %r failed (%d)" % (key, name, code))

    def reg_delete(self, key):
        """Deletes a key and all below it; a missing key is not an error."""
        self._reg(["delete", self._hklm(key), "/f", "/reg:32"])

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
            raise RigError("missing %s: build the win32 preset first" % self.updater)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name)
        shutil.copyfile(self.updater, path)
        return path

    def map_drive(self, letter, folder):
        """Makes LETTER: a drive of the prefix whose root folder is folder."""
        letter = letter.lower().rstrip(":")
        if letter in ("c", "z") or len(letter) != 1 or not letter.isalpha():
            raise RigError("drive letter %r cannot be mapped" % letter)
        link = os.path.join(self.prefix, "dosdevices", letter + ":")
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(os.path.abspath(folder), link)
        self._drives[letter] = os.path.abspath(folder)

    def _unmap_drives(self):
        dosdevices = os.path.join(self.prefix, "dosdevices")
        for name in os.listdir(dosdevices):
            link = os.path.join(dosdevices, name)
            if re.fullmatch(r"[a-y]:", name) and name != "c:" and os.path.islink(link):
                if os.path.realpath(link).startswith(os.path.realpath(self.work) + os.sep):
                    os.unlink(link)
        self._drives = {}

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

    # ---- reset --------------------------------------------------------------

    def reset(self):
        """Puts the prefix back as a new case expects it: no product registered, an
        empty documents folder, no scratch folders, no extra drives."""
        self._kill_started()
        for key in PRODUCT_KEYS:
            self.reg_delete(key)
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

    def start_program(self, exe, args=(), cwd=None, env_extra=None):
        """Starts a Windows program (Unix path) with wine; args are passed as they
        are (Wine quotes those with blanks, and empty ones, with double quotes)."""
        # Output goes to files, not pipes: Wine's background services inherit
        # the handles, so a pipe would not reach its end when the program ends.
        self._counter += 1
        base = os.path.join(self.logs, "%03d-%s" % (self._counter, os.path.basename(exe)))
        with open(base + ".out", "wb") as out, open(base + ".err", "wb") as err:
            popen = subprocess.Popen(["wine", self.windows_path(exe)] + list(args),
                                     cwd=cwd or self.cases, env=self.wine_env(env_extra),
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

    def _kill(self, proc):
        if proc.popen.poll() is None:
            try:
                os.kill(proc.pid, signal.SIGKILL)
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

    def tool_start(self, *args, ready_timeout=15):
        """Starts e2etool.exe in the background and returns once it printed ready=1
        (for "nowindow", which must watch before the updater starts)."""
        proc = self.start_program(self.tool_exe, args)
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
        reader = self.start_program(self.tool_exe, ["box", "--timeout-ms", str(timeout_ms),
                                                     "--press", press])
        # Stop waiting for a box once the updater has ended without one.
        while reader.alive():
            if not proc.alive() and b"found=" not in reader.read_output():
                self._kill(reader)
                break
            time.sleep(0.02)
        box = self.tool_finish(reader)
        if box.get("found") != b"1" and proc.alive():
            self._kill(proc)
            return box, None
        return box, self.wait_exit(proc, exit_timeout)

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


class RigTestCase(unittest.TestCase):
    """A test class sharing one started Rig (`cls.rig`) for all its cases;
    the rig is closed, with every process it started, after the last one."""

    @classmethod
    def setUpClass(cls):
        cls.rig = Rig()
        cls.rig.start()
        cls.addClassCleanup(cls.rig.close)


def _terminate_on_signal(signum, frame):
    # ctest ends a test that ran too long with SIGTERM: leave through the
    # context managers so that every started process is ended.
    raise SystemExit(128 + signum)


signal.signal(signal.SIGTERM, _terminate_on_signal)


def main(argv):
    if argv[1:] != ["setup"]:
        print("usage: rig.py setup", file=sys.stderr)
        return 2
    started = time.monotonic()
    with Rig() as rig:
        out = rig.tool("acp")
        print("prefix %s ready, display %s, ANSI code page %s, documents %s (%.1f s)"
              % (rig.prefix, rig.display, out.text("acp"), rig.documents,
                 time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
