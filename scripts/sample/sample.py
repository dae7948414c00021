"""The built-in sample: two releases of a product, 7.1.0.9 and 7.1.0.12,
laid out as they install, and a machine that has 7.1.0.9 installed (version
7.1.0.9 registered as /TORVEN 7.1 in a rig's Wine prefix) with a hotfix of
bin/report.dll newer than either release. update-kit diff makes the payload
between the releases, update-kit stage puts updater.exe beside it, and the
updater brings the machine to 7.1.0.12, leaving the hotfix alone.

Used by run_sample.py (a person watching), by the end-to-end test of the
sample, and by hand for update-kit: python3 sample.py OUT writes OUT/7.1.0.9,
OUT/7.1.0.12 and the machine's product folder OUT/installed."""

import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))

from payload_files import place_pe  # noqa: E402
from rig import TORVEN_071, TORVEN_LOG_FILE, TORVEN_LOG_FOLDER, snapshot  # noqa: E402

OLD, NEW = "7.1.0.9", "7.1.0.12"
ARGS = ["/TORVEN", NEW, "サンプル更新"]
# Program files with Japanese version resources, built at run time:
# (relative path, version in 7.1.0.9 or None, version in 7.1.0.12).
SAMPLE_PROGRAMS = [
    ("bin/ledger.dll", "13.9.0.4", "13.10.0.1"),
    ("bin/report.dll", "13.1.2.70", "13.1.2.76"),
    ("bin/tax/rates2027.dll", None, "1.0.0.0"),
]
# What the machine has installed beyond 7.1.0.9: a hotfix, newer than 7.1.0.12's.
HOTFIX = ("bin/report.dll", "13.1.2.80")


def build_releases(out):
    """Writes the two releases to out/7.1.0.9 and out/7.1.0.12 and the
    machine's product folder to out/installed."""
    for release in (OLD, NEW):
        shutil.copytree(os.path.join(HERE, release), os.path.join(out, release), dirs_exist_ok=True)
    for index, (rel, old, new) in enumerate(SAMPLE_PROGRAMS):
        if old:
            place_pe(os.path.join(out, OLD, rel), old, "sample-old-%d" % index)
        place_pe(os.path.join(out, NEW, rel), new, "sample-new-%d" % index)
    installed = os.path.join(out, "installed")
    shutil.copytree(os.path.join(out, OLD), installed, dirs_exist_ok=True)
    place_pe(os.path.join(installed, HOTFIX[0]), HOTFIX[1], "sample-hotfix")


def update_kit(kit, *arguments, cwd=None):
    """Runs update-kit; -> its output. Raises when it fails."""
    done = subprocess.run([kit, *arguments], capture_output=True, text=True, cwd=cwd)
    if done.returncode != 0:
        raise RuntimeError("update-kit %s ended with %d:\n%s%s"
                           % (arguments[0], done.returncode, done.stdout, done.stderr))
    return done.stdout


class Sample:
    """The sample set up in `rig` with update-kit `kit`: the releases, the
    payload diff made, the update stage made of it, the product folder
    registered, the log folder and the product folder's files before the run."""

    def __init__(self, rig, kit):
        self.rig = rig
        releases = rig.scratch("sample-releases")
        build_releases(releases)
        self.product = os.path.join(releases, "installed")
        self.payload = os.path.join(releases, "payload")
        # In the releases' folder, so that diff names them as a person would.
        self.diff_output = update_kit(os.path.abspath(kit), "diff", "--from", OLD, "--to", NEW, "--out", "payload",
                                      cwd=releases)
        self.stage = rig.scratch("sample-update")
        self.stage_output = update_kit(kit, "stage", "--updater", rig.updater, "--payload", self.payload,
                                       "--out", self.stage)
        self.exe = os.path.join(self.stage, "updater.exe")
        self.root_dir = rig.windows_path(self.product) + "\\"
        rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", self.root_dir)
        rig.reg_add(TORVEN_071, "Version", "REG_SZ", OLD)
        self.log_folder = os.path.join(rig.documents, TORVEN_LOG_FOLDER)
        os.makedirs(self.log_folder)
        self.log = os.path.join(self.log_folder, TORVEN_LOG_FILE)
        self.before = snapshot(self.product)
        self.new_release = snapshot(os.path.join(releases, NEW))

    def expected_after(self):
        """The product folder as a correct run leaves it: 7.1.0.12 whole,
        except the hotfix, and the file 7.1.0.12 no longer has."""
        expected = dict(self.new_release)
        expected[HOTFIX[0]] = self.before[HOTFIX[0]]
        expected["help/old-guide.txt"] = self.before["help/old-guide.txt"]
        return expected

    def expected_log(self):
        """The copy log's bytes: one line, for the hotfix left alone."""
        dest = self.root_dir + HOTFIX[0].replace("/", "\\")
        return ("New[13.1.2.76] Org[%s] FILE[%s]\r\n" % (HOTFIX[1], dest)).encode("cp932")

    def run(self, box_timeout_s=60, progress_timeout_s=3, exit_timeout_s=120):
        """Starts the updater, reads the progress window (when it shows long
        enough) and the final box (pressing OK); -> (progress, box, exit code)."""
        rig = self.rig
        proc = rig.start_updater(ARGS, exe=self.exe)
        progress_reader = rig.start_program(
            rig.tool_exe, ["progress", "--timeout-ms", str(int(progress_timeout_s * 1000))])
        box = rig.tool("box", "--timeout-ms", str(int(box_timeout_s * 1000)),
                       timeout=box_timeout_s + 30)
        progress = rig.tool_finish(progress_reader, timeout=progress_timeout_s + 30)
        code = rig.wait_exit(proc, exit_timeout_s)
        return progress, box, code


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print("usage: python3 sample.py OUT", file=sys.stderr)
        sys.exit(2)
    build_releases(sys.argv[1])
