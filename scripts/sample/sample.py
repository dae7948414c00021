"""The built-in sample: a product /TORVEN 7.1 (version 7.1.0.9) registered
in a rig's Wine prefix, its folder filled from installed/ plus program files
with Japanese version resources, and an update staged beside updater.exe
from payload/ plus newer and older program files. Used by run_sample.py (a
person watching), by the smoke test of the 32-bit build, and by hand for
update-kit (python3 sample.py OUT writes OUT/payload and OUT/installed)."""

import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))

from payload_files import place_pe  # noqa: E402
from rig import TORVEN_071, TORVEN_LOG_FILE, TORVEN_LOG_FOLDER, snapshot  # noqa: E402

INSTALLED_VERSION = "7.1.0.9"
ARGS = ["/TORVEN", "7.1.0.12", "サンプル更新"]
# Program files with Japanese version resources, built at run time:
# (relative path, version in the update, version installed or None).
SAMPLE_PROGRAMS = [
    ("bin/ledger.dll", "13.10.0.1", "13.9.0.4"),   # newer in the update: replaced
    ("bin/report.dll", "13.1.2.76", "13.1.2.80"),  # newer installed: left alone, logged
    ("bin/tax/rates2027.dll", "1.0.0.0", None),    # not installed yet: added
]


def build_trees(stage, product):
    """Fills `stage` with the update's payload and `product` with the installed
    product's files (both made if missing)."""
    shutil.copytree(os.path.join(HERE, "installed"), product, dirs_exist_ok=True)
    shutil.copytree(os.path.join(HERE, "payload"), stage, dirs_exist_ok=True)
    for index, (rel, new, old) in enumerate(SAMPLE_PROGRAMS):
        place_pe(os.path.join(stage, rel), new, "sample-new-%d" % index)
        if old:
            place_pe(os.path.join(product, rel), old, "sample-old-%d" % index)


class Sample:
    """The sample set up in `rig`: product and stage folders, the staged
    updater, the log folder and the product folder's files before the run."""

    def __init__(self, rig):
        self.rig = rig
        self.product = rig.scratch("sample-product")
        self.stage = rig.scratch("sample-update")
        build_trees(self.stage, self.product)
        self.exe = rig.stage_updater(self.stage)
        self.root_dir = rig.windows_path(self.product) + "\\"
        rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", self.root_dir)
        rig.reg_add(TORVEN_071, "Version", "REG_SZ", INSTALLED_VERSION)
        self.log_folder = os.path.join(rig.documents, TORVEN_LOG_FOLDER)
        os.makedirs(self.log_folder)
        self.log = os.path.join(self.log_folder, TORVEN_LOG_FILE)
        self.before = snapshot(self.product)

    def expected_after(self):
        """The product folder as a correct run leaves it: every payload file
        copied except the one whose installed copy is newer."""
        expected = dict(self.before)
        payload = snapshot(self.stage)
        del payload["updater.exe"]
        del payload["bin/report.dll"]
        expected.update(payload)
        return expected

    def expected_log(self):
        """The copy log's bytes: one line, for the file left alone."""
        dest = self.root_dir + "bin\\report.dll"
        return ("New[13.1.2.76] Org[13.1.2.80] FILE[%s]\r\n" % dest).encode("cp932")

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
    # python3 sample.py OUT: the sample's payload in OUT/payload and its
    # installed product in OUT/installed, for update-kit to work on.
    if len(sys.argv) != 2:
        print("usage: python3 sample.py OUT", file=sys.stderr)
        sys.exit(2)
    build_trees(os.path.join(sys.argv[1], "payload"), os.path.join(sys.argv[1], "installed"))
