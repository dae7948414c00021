"""Windows programs the rig started under Wine, and what a whole run of the
updater came to. Importing this module changes nothing."""


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
