"""A private Wine prefix for one kind of Wine, with the Japanese locale
(code page 932), private user folders and its own server.

Two kinds of Wine start programs:
    WINE32  Debian's `wine`: the 32-bit loader (32-bit programs natively)
    WINE64  /usr/lib/wine/wine64 in a 64-bit prefix: 64-bit programs; it
            hands 32-bit ones to the 32-bit loader, which on a machine
            without 32-bit support runs only under user-mode emulation
"""

import os
import shutil
import subprocess

from .common import DLL_OVERRIDES, LOCALE, RigError
from .machine import WINE64_LOADER, WINESERVER64

PREFIX_TIMEOUT = 600
# Wine's own error messages, for a tool whose output is read only when it fails.
TOOL_DEBUG = {"WINEDEBUG": "err+all"}
SERVER_TIMEOUT = 30

# Folders of a new prefix that Wine links to the Unix home; each becomes a real
# folder so that a test never writes outside the prefix.
LINKED_USER_FOLDERS = ("Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos",
                       "Templates")

# Written to prefix.ready once the prefix is made and set up; a prefix whose
# mark differs is set up again (not remade).
PREFIX_CONFIG = "config 3: private user folders, unmanaged windows, no crash dialog"


class Wine:
    """How to start programs and the server of one kind of Wine."""

    def __init__(self, name, loader, server, env):
        self.name = name
        self.loader = loader
        self.server = server
        self.env = env

    def __repr__(self):
        return "Wine(%s)" % self.name


WINE32 = Wine("32-bit Wine", ["wine"], ["wineserver"], {})
WINE64 = Wine("64-bit Wine", [WINE64_LOADER], [WINESERVER64],
              {"WINEARCH": "win64", "WINELOADER": WINE64_LOADER, "WINESERVER": WINESERVER64})


class WinePrefix:
    """The prefix work/prefix, made once and reused; HOME is work/home and the
    locale is compiled into work/locale."""

    def __init__(self, work, wine, extra_env=None):
        self.work = work
        self.wine = wine
        self.extra_env = dict(extra_env or {})
        self.path = os.path.join(work, "prefix")
        self.locale_dir = os.path.join(work, "locale")
        self.home = os.path.join(work, "home")
        self.display = None
        self.documents = None
        self.server_started = False

    # ---- environment --------------------------------------------------------

    def env(self, env_extra=None):
        """The environment of every Wine process in this prefix."""
        env = dict(os.environ)
        # Only the rig's own display, never the one of whoever runs the tests.
        for name in ("LANGUAGE", "WINELOADER", "WINESERVER", "WINEARCH", "DISPLAY"):
            env.pop(name, None)
        env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "WINEPREFIX": self.path,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": DLL_OVERRIDES,
            "LOCPATH": self.locale_dir,
            "LANG": LOCALE,
            "LC_ALL": LOCALE,
        })
        env.update(self.wine.env)
        env.update(self.extra_env)
        if self.display:
            env["DISPLAY"] = self.display
        if env_extra:
            env.update(env_extra)
        return env

    def command(self, *args):
        """The command line that starts a Windows program (or Wine tool) here."""
        return self.wine.loader + list(args)

    def run_quiet(self, args, timeout=120):
        """Runs a Wine tool (reg, wineboot) to its end; returns its exit code and
        what it printed. Its output goes to a file, not a pipe: a Wine service
        started by this call would keep a pipe open."""
        output = os.path.join(self.work, "wine-tool.out")
        with open(output, "wb") as out:
            result = subprocess.run(self.command(*args), env=self.env(TOOL_DEBUG), cwd=self.work,
                                    stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT, timeout=timeout)
        with open(output, "rb") as out:
            return result.returncode, out.read()

    def ensure_locale(self):
        target = os.path.join(self.locale_dir, LOCALE)
        if os.path.isfile(os.path.join(target, "LC_CTYPE")):
            return
        os.makedirs(self.locale_dir, exist_ok=True)
        # localedef exits non-zero for mere warnings; the files decide.
        result = subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", target],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        if not os.path.isfile(os.path.join(target, "LC_CTYPE")):
            raise RigError("localedef failed: %s" % result.stdout.decode(errors="replace"))

    # ---- the prefix ---------------------------------------------------------

    def _ready_mark(self):
        return os.path.join(self.work, "prefix.ready")

    def _read_mark(self):
        try:
            with open(self._ready_mark()) as f:
                return f.read().strip()
        except OSError:
            return ""

    def ensure(self):
        """Makes the prefix when it is missing or half made, and sets it up."""
        if os.path.isdir(self.path) and self._read_mark() == PREFIX_CONFIG:
            self._find_documents()
            return
        if not (os.path.isdir(self.path) and self._read_mark()):
            self._create()
        self._configure()
        self._find_documents()
        with open(self._ready_mark(), "w") as f:
            f.write(PREFIX_CONFIG + "\n")

    def _create(self):
        # A prefix without the mark is a half-made one: start again.
        self.server("-k", check=False)
        shutil.rmtree(self.path, ignore_errors=True)
        for name in ("home", "cases"):
            shutil.rmtree(os.path.join(self.work, name), ignore_errors=True)
        os.makedirs(self.home, exist_ok=True)
        subprocess.run(self.command("wineboot", "-i"), env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=PREFIX_TIMEOUT, check=False)
        self.server("-w", check=False, timeout=PREFIX_TIMEOUT)
        if not os.path.isfile(os.path.join(self.path, "system.reg")):
            raise RigError("%s could not create the prefix %s (wineboot -i)"
                           % (self.wine.name, self.path))
        with open(self._ready_mark(), "w") as f:
            f.write("created\n")

    def _configure(self):
        self._make_user_folders_private()
        # With no window manager on Xvfb, Wine waits 2 s for every "managed"
        # window it hides (it expects the manager to withdraw it); unmanaged
        # windows are drawn by Wine whole, frame and caption included.
        self.run_quiet(["reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/t",
                        "REG_SZ", "/d", "N", "/f"])
        # A crashing program ends at once (with winedbg's backtrace on its
        # standard error) instead of waiting behind a crash dialog.
        self.run_quiet(["reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
                        "/t", "REG_DWORD", "/d", "0", "/f"])
        self.server("-w", check=False)

    def user_folder(self):
        users = os.path.join(self.path, "drive_c", "users")
        names = [n for n in os.listdir(users) if n.lower() != "public"]
        if len(names) != 1:
            raise RigError("cannot tell the Wine user folder in %s: %r" % (users, names))
        return os.path.join(users, names[0])

    def _make_user_folders_private(self):
        user = self.user_folder()
        for name in LINKED_USER_FOLDERS:
            path = os.path.join(user, name)
            if os.path.islink(path):
                os.unlink(path)
            os.makedirs(path, exist_ok=True)

    def _find_documents(self):
        self.documents = os.path.join(self.user_folder(), "Documents")
        if os.path.islink(self.documents) or not os.path.isdir(self.documents):
            raise RigError("%s is not a private folder" % self.documents)

    # ---- drives -------------------------------------------------------------

    def dosdevice(self, letter):
        return os.path.join(self.path, "dosdevices", letter + ":")

    # ---- the server ---------------------------------------------------------

    def server(self, option, check=True, timeout=SERVER_TIMEOUT):
        result = subprocess.run(self.wine.server + [option], env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=timeout, check=False)
        if check and result.returncode != 0:
            raise RigError("wineserver %s failed (%d)" % (option, result.returncode))
        return result.returncode

    def start_server(self):
        # A server left from a killed run would still talk to an old display.
        self.server("-k", check=False)
        self.server("-w", check=False)
        self.server("-p")
        self.server_started = True

    def stop_server(self):
        if self.server_started:
            self.server("-k", check=False)
            self.server("-w", check=False)
            self.server_started = False
