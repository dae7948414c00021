"""The Wine benchmark of a whole update run (run it through run.sh).

On the generated update (generate.py: 2,000 files, about 200 MB, every file
to be copied) it times, in the end-to-end rig's Wine prefix:

  (a) updater.exe /TORVEN 7.1.0.12 Bench: from its start until the final box
      is on the screen (the box is then pressed),
  (as) the same run of the updater signed by update-kit stage --sign (a
      throwaway certificate made by openssl), which also checks its payload
      against the signed manifest, hashing each file once and holding it until its copy,
  (b) bare_copy.exe: the same files copied with the same shell call, nothing
      else, from its start until the end of its copy loop,
  (b2) bare_copy.exe --versions: the same copies with the version reads any
      updater that keeps newer installed copies makes, in the same order,
  (b3) bare_copy.exe --whole: (b2) copying whole or not at all, the floor of
      the updater's copy: each file written under the temporary name,
      compared with the payload file and renamed over the installed one,
  (c) Wine's xcopy /e /y of the same folders, from start to end,

each on a product folder reset to the installed tree, in several rounds, and
prints the medians and the ratios a/b3, a/b2, b3/b2, as/a and a/c, and a/b3
round by round. Then it shows where an update
run's own time goes: work_probe.exe times the folder search and the version
reads of the new and the installed files, copy_steps.exe times the steps of
the updater's copy of each file one by one, and the process start is timed
on an empty list.

With BENCH_BASELINE (another updater.exe, say the last release's), each
round also times (a0), that updater's run on the same files, before (a) in
every other round and after it in the rest (the first run after a reset is
often the slower), and prints a/a0: a change's cost measured in one run,
round by round.

Every timed program and the Wine server run on one CPU: this process's own
(run.sh starts it pinned with taskset; the server the rig starts inherits
it, and a server found unpinned is pinned here). Woken on the other CPU, a
server's round trip costs ten times as much, and rounds vary twofold.
What only watches, the box tool that waits for (a)'s final box, starts on
the other CPU, and this script waits for it without polling: the tool says
when it saw the box.

Environment: E2E_BUILD (win32 or win64: the build timed, with its own rig),
BENCH_WORK (default build/<build>/bench-wine), BENCH_ROUNDS (3),
BENCH_BARE_COPY and BENCH_PROBE (the two programs, default in BENCH_WORK),
E2E_UPDATE_KIT (the native update-kit that signs).
"""

import contextlib
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parents[1]
sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
sys.path.insert(0, str(HERE))

from generate import copy_list, generate, windows_order  # noqa: E402
from rig import TORVEN_071, Rig, Target  # noqa: E402
from test_signed_updater import PASSWORD, UPDATE_KIT, make_certificate  # noqa: E402

ARGS = ["/TORVEN", "7.1.0.12", "Bench"]
SUCCESS = "インストールは正常に終了しました。".encode("cp932")
RUN_TIMEOUT = 600


def reset_product(installed, product):
    shutil.rmtree(product, ignore_errors=True)
    shutil.copytree(installed, product)
    os.sync()  # no write-back of the reset during a timed run


def check_product(stage, product):
    """Every payload file arrived, with its size (bytes are checked once)."""
    for path in windows_order(stage):
        rel = os.path.relpath(path, stage)
        if os.sep not in rel:
            continue
        dest = os.path.join(product, rel)
        if not os.path.isfile(dest) or os.path.getsize(dest) != os.path.getsize(path):
            raise AssertionError("not copied: %s" % rel)


@contextlib.contextmanager
def off_timed_cpu():
    """Programs started inside run on the CPUs this script is not pinned to
    (on the same one where there is no other)."""
    timed = os.sched_getaffinity(0)
    others = set(range(os.cpu_count() or 1)) - timed
    os.sched_setaffinity(0, others or timed)
    try:
        yield
    finally:
        os.sched_setaffinity(0, timed)


def stderr_value(proc, key):
    for line in proc.stderr.decode("ascii", "replace").splitlines():
        if line.startswith(key + "="):
            return int(line.split("=", 1)[1])
    raise AssertionError("%r printed no %s: %r" % (proc, key, proc.stderr))


class Bench:
    def __init__(self, rig, work, bare_copy, probe):
        self.rig, self.work = rig, work
        self.bare_copy, self.probe = bare_copy, probe
        self.stage, self.installed, self.product = work / "stage", work / "installed", work / "product"
        # The signed update is staged from the payload alone, without the
        # updater an earlier run left beside it.
        for earlier in ("updater.exe", "baseline.exe"):
            if (self.stage / earlier).exists():
                (self.stage / earlier).unlink()
        self.signed_exe = self.stage_signed()
        self.exe = rig.stage_updater(str(self.stage))
        baseline = os.environ.get("BENCH_BASELINE")
        self.baseline_exe = None
        if baseline:
            self.baseline_exe = str(self.stage / "baseline.exe")
            shutil.copyfile(baseline, self.baseline_exe)
        self.list_file = work / "copy-list.txt"
        self.list_file.write_bytes(copy_list(str(self.stage), str(self.product), rig.windows_path))
        self.empty_list = work / "empty-list.txt"
        self.empty_list.write_bytes(b"")

    def stage_signed(self):
        """The same payload staged and signed by update-kit -> its updater.exe."""
        keys, signed = self.work / "keys", self.work / "signed-stage"
        shutil.rmtree(keys, ignore_errors=True)
        shutil.rmtree(signed, ignore_errors=True)
        keys.mkdir()
        p12, pem = make_certificate(str(keys), "bench")
        subprocess.run([UPDATE_KIT, "stage", "--updater", self.rig.updater, "--payload", str(self.stage),
                        "--out", str(signed), "--sign", p12, "--ca-file", pem,
                        "--product", ARGS[0].lstrip("/"), "--version-code", ARGS[1]],
                       check=True, capture_output=True, env=dict(os.environ, UPDATE_KIT_SIGN_PASSWORD=PASSWORD))
        shutil.rmtree(keys)
        return str(signed / "updater.exe")

    def updater_run(self, exe):
        # The tool waits for the box before the updater starts. It runs off
        # the timed CPU and says when it saw the box, so that neither it nor
        # this script polls on the CPU the run is timed on.
        with off_timed_cpu():
            tool = self.rig.start_program(self.rig.tool_exe, ["box", "--timeout-ms", str(RUN_TIMEOUT * 1000)])
        started = time.time()
        proc = self.rig.start_updater(ARGS, exe=exe)
        box = self.rig.tool_finish(tool, RUN_TIMEOUT + 30)
        if box.get("text") != SUCCESS or self.rig.wait_exit(proc, 60) != 0:
            raise AssertionError("the update run did not end well: %r" % (box,))
        return int(box.get("found_unix_ms")) / 1000.0 - started

    def bare_run(self, list_file, mode=None):
        """mode: None, "--versions" or "--whole"."""
        started = time.time()
        proc = self.rig.start_program(str(self.bare_copy),
                                      [mode] * bool(mode) + [self.rig.windows_path(str(list_file))])
        if self.rig.wait_exit(proc, RUN_TIMEOUT) != 0:
            raise AssertionError("bare_copy failed: %r" % (proc.stderr,))
        if mode and stderr_value(proc, "versions_found") == 0:
            raise AssertionError("bare_copy --versions read no version: %r" % (proc.stderr,))
        return stderr_value(proc, "end_unix_ms") / 1000.0 - started, stderr_value(proc, "loop_ms") / 1000.0

    def xcopy_run(self):
        # One cmd.exe runs one xcopy per top folder.
        command = self.rig.wine_command("cmd", "/c")
        first = len(command)
        for top in sorted(os.listdir(self.stage)):
            if (self.stage / top).is_dir():
                if len(command) > first:
                    command.append("&")
                command += ["xcopy", self.rig.windows_path(str(self.stage / top)),
                            self.rig.windows_path(str(self.product / top)), "/e", "/y", "/i", "/q"]
        started = time.time()
        subprocess.run(command, env=self.rig.wine_env(), cwd=str(self.work), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT, check=True)
        return time.time() - started

    def probe_run(self):
        proc = self.rig.start_program(str(self.probe), [self.rig.windows_path(str(self.stage)),
                                                        self.rig.windows_path(str(self.product))])
        if self.rig.wait_exit(proc, RUN_TIMEOUT) != 0:
            raise AssertionError("work_probe failed: %r" % (proc.stderr,))
        return dict(line.split("=", 1) for line in proc.stdout.decode().split())

    def copy_steps_run(self):
        proc = self.rig.start_program(str(self.work / "copy_steps.exe"), [self.rig.windows_path(str(self.list_file))])
        if self.rig.wait_exit(proc, RUN_TIMEOUT) != 0:
            raise AssertionError("copy_steps failed: %r" % (proc.stderr,))
        return [line.split("=", 1) for line in proc.stdout.decode().split()]


def median(values):
    return statistics.median(values)


def round_ratios(times, others):
    return ", ".join("%.3f" % (x / y) for x, y in zip(times, others))


def pin_servers(prefix, cpus):
    """Pins every Wine server of `prefix` to `cpus`; returns how many run."""
    servers = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                program = os.path.basename(f.read().split(b"\0")[0])
            if not program.startswith(b"wineserver"):
                continue
            with open("/proc/%s/environ" % pid, "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        if ("WINEPREFIX=%s" % prefix).encode() in environ:
            if os.sched_getaffinity(int(pid)) != cpus:
                os.sched_setaffinity(int(pid), cpus)
            servers += 1
    return servers


def main():
    target = Target()
    work = Path(os.environ.get("BENCH_WORK",
                               SOURCE / "build" / target.build / "bench-wine")).resolve()
    rounds = int(os.environ.get("BENCH_ROUNDS", "3"))
    bare_copy = Path(os.environ.get("BENCH_BARE_COPY", work / "bare_copy.exe"))
    probe = Path(os.environ.get("BENCH_PROBE", work / "work_probe.exe"))
    work.mkdir(parents=True, exist_ok=True)
    print("generating the update in %s ..." % work, flush=True)
    generate(work, work / "payload-cache")
    files = [p for p in windows_order(str(work / "stage")) if os.sep in os.path.relpath(p, work / "stage")]
    total = sum(os.path.getsize(p) for p in files)

    a, a0, signed, b, loop, b2, b3, c = [], [], [], [], [], [], [], []
    cpus = os.sched_getaffinity(0)
    print("build: %s (%s), pinned to CPU %s" % (target.build, target.wine.name, ",".join(map(str, sorted(cpus)))),
          flush=True)
    if len(cpus) != 1:
        print("warning: not pinned to one CPU: rounds will vary (run it through run.sh)", flush=True)
    with Rig(target) as rig:
        rig.reset()
        if pin_servers(rig.wine_prefix.path, cpus) == 0:
            raise AssertionError("no Wine server of the rig's prefix was found to pin")
        bench = Bench(rig, work, bare_copy, probe)
        rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", rig.windows_path(str(bench.product)) + "\\")
        rig.reg_add(TORVEN_071, "Version", "REG_SZ", "7.1.0.1")
        for round_ in range(rounds):
            updater = ((a, lambda: bench.updater_run(bench.exe)),)
            if bench.baseline_exe:
                baseline = ((a0, lambda: bench.updater_run(bench.baseline_exe)),)
                updater = updater + baseline if round_ % 2 else baseline + updater
            for times, run in updater + (
                               (signed, lambda: bench.updater_run(bench.signed_exe)),
                               (b, lambda: bench.bare_run(bench.list_file)),
                               (b2, lambda: bench.bare_run(bench.list_file, "--versions")[0]),
                               (b3, lambda: bench.bare_run(bench.list_file, "--whole")[0]),
                               (c, bench.xcopy_run)):
                reset_product(bench.installed, bench.product)
                times.append(run())
                check_product(bench.stage, bench.product)
            loop.append(b[-1][1])
            b[-1] = b[-1][0]
            print("round %d: a %.2f s, %sas %.2f s, b %.2f s, b2 %.2f s, b3 %.2f s, c %.2f s"
                  % (round_ + 1, a[-1], "a0 %.2f s, " % a0[-1] if a0 else "", signed[-1], b[-1], b2[-1], b3[-1],
                     c[-1]),
                  flush=True)
        reset_product(bench.installed, bench.product)
        work_times = bench.probe_run()
        reset_product(bench.installed, bench.product)
        steps = bench.copy_steps_run()
        check_product(bench.stage, bench.product)
        start_only, _ = bench.bare_run(bench.empty_list)
        shutil.rmtree(bench.product, ignore_errors=True)
        rig.reset()

    ma, mas, mb, mb2, mb3, mc = median(a), median(signed), median(b), median(b2), median(b3), median(c)
    print()
    print("Wine benchmark of the %s build: %d files (%s DLLs with version resources), %.1f MB, every file copied; "
          "median of %d rounds" % (target.build, len(files), work_times["versioned"], total / 1048576.0, rounds))
    print("  (a)  updater run, start to final box     %7.2f s" % ma)
    print("  (as) the same, updater signed            %7.2f s" % mas)
    print("  (b)  bare SHFileOperationA loop          %7.2f s   (its copy loop alone %.2f s)" % (mb, median(loop)))
    print("  (b2) the same loop with the version reads %6.2f s" % mb2)
    print("  (b3) (b2) copying whole or not at all    %7.2f s" % mb3)
    print("  (c)  xcopy /e /y                         %7.2f s" % mc)
    print("  a/b3 = %.3f (goal <= 1.04)   a/b2 = %.3f (goal <= 1.10)   b3/b2 = %.3f   as/a = %.3f (goal <= 1.30)"
          "   a/b = %.3f   a/c = %.3f" % (ma / mb3, ma / mb2, mb3 / mb2, mas / ma, ma / mb, ma / mc))
    # A round's ratio compares two runs of one round; where whole rounds
    # drift, its median says more than the ratio of the medians.
    print("  a/b3 round by round: %s (median %.3f)" % (round_ratios(a, b3), median([x / y for x, y in zip(a, b3)])))
    if a0:
        print("  (a0) the baseline updater's run          %7.2f s   a/a0 = %.3f (rounds: %s)"
              % (median(a0), ma / median(a0), round_ratios(a, a0)))
    print()
    print("Where an update run's own time goes (outside the shell copy), measured apart:")
    print("  process start to a program's first line  %7.2f s" % start_only)
    print("  folder search of the payload             %7.3f s" % (int(work_times["list_ms"]) / 1000.0))
    print("  version reads of the %4s new files      %7.3f s" % (work_times["files"], int(work_times["new_ms"]) / 1000.0))
    print("  existence and version of %4s installed  %7.3f s" % (work_times["installed"],
                                                               int(work_times["installed_ms"]) / 1000.0))
    print("  shell copy per file (b's loop)           %7.2f ms" % (median(loop) * 1000.0 / len(files)))
    print("The copy of each file step by step (the updater's calls, without its folder walk and version reads):")
    for name, value in steps[1:]:
        print("  %-10s %8.3f s  %6.3f ms a file" % (name[:-3], int(value) / 1000.0, int(value) / len(files)))
    print("The new files' reads call by call (the updater reads each installed copy the same way):")
    for key, label in (("exists_ms", "existence test (FindFirstFileA, time stamp)"),
                       ("size_ms_versioned", "GetFileVersionInfoSizeA, files with a version"),
                       ("size_ms_plain", "GetFileVersionInfoSizeA, files without one"),
                       ("info_ms", "GetFileVersionInfoA"),
                       ("query_ms", "VerQueryValueA"),
                       ("single_load_ms", "for comparison: one LoadLibraryExA + FindResource")):
        print("  %-47s %6.3f s" % (label, int(work_times[key]) / 1000.0))
    return 0


if __name__ == "__main__":
    sys.exit(main())
