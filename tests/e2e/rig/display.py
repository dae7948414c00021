"""A private X display: Xvfb on the first free display number."""

import os
import select
import signal
import subprocess
import time

from .common import SCREEN, RigError

XVFB_TIMEOUT = 15


class Display:
    """Xvfb started by start(), ended by stop(); its pid is kept in
    work/xvfb.pid so that a later rig can end one that a killed rig left."""

    def __init__(self, work):
        self.work = work
        self.name = None  # ":N" once started
        self._xvfb = None

    @property
    def _pid_file(self):
        return os.path.join(self.work, "xvfb.pid")

    def kill_stale(self):
        """Ends an Xvfb that an earlier, killed rig of this work folder left behind."""
        try:
            with open(self._pid_file) as f:
                pid = int(f.read().strip())
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                if b"Xvfb" in f.read().split(b"\0")[0]:
                    os.kill(pid, signal.SIGKILL)
        except (OSError, ValueError):
            pass
        try:
            os.unlink(self._pid_file)
        except OSError:
            pass

    def start(self):
        # -displayfd lets Xvfb take the first free display and tell us which.
        read_end, write_end = os.pipe()
        try:
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                start_new_session=True)
            os.close(write_end)
            write_end = None
            with open(self._pid_file, "w") as f:
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
            self.name = ":" + number.decode().strip()
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)

    def stop(self):
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
        self.name = None
        try:
            os.unlink(self._pid_file)
        except OSError:
            pass
