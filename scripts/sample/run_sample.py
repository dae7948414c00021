"""Runs updater.exe once on the sample under Wine and prints what happened.

A sample product /TORVEN 7.1 (version 7.1.0.9) is registered in the private
Wine prefix of the end-to-end tests, with its folder filled from installed/
and three program files with Japanese version resources (one older than the
update's, one newer, one missing); updater.exe is staged beside the sample
payload (payload/ and the three new program files) and started as
    updater.exe /TORVEN 7.1.0.12 "サンプル更新"
The progress window and the final message box are read with the test tool
(the box's OK is pressed), then the changes in the product folder and the
copy log, if one was written, are printed.
"""

import hashlib
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))

from payload_files import place_pe  # noqa: E402
from rig import Rig  # noqa: E402

PRODUCT_KEY = "\\SOFTWARE\\ORMIKA\\TORVENZAIMU071"
# Program files with Japanese version resources, built at run time:
# (relative path, version in the update, version installed or None).
SAMPLE_PROGRAMS = [
    ("bin/ledger.dll", "13.10.0.1", "13.9.0.4"),   # newer in the update: replaced
    ("bin/report.dll", "13.1.2.76", "13.1.2.80"),  # newer installed: left alone, logged
    ("bin/tax/rates2027.dll", "1.0.0.0", None),    # not installed yet: added
]
ARGS = ["/TORVEN", "7.1.0.12", "サンプル更新"]


def snapshot(folder):
    """{relative path: SHA-256} of every file below folder."""
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = hashlib.sha256(f.read()).hexdigest()
    return files


def show(label, value):
    print("  %-16s %s" % (label + ":", value))


def print_changes(before, after):
    print("Product folder after the run:")
    for path in sorted(set(before) | set(after)):
        if path not in before:
            state = "added"
        elif path not in after:
            state = "removed"
        elif before[path] != after[path]:
            state = "replaced"
        else:
            state = "unchanged"
        print("  %-10s %s" % (state, path))


def main():
    with Rig() as rig:
        rig.reset()
        product = rig.scratch("sample-product")
        shutil.copytree(os.path.join(HERE, "installed"), product, dirs_exist_ok=True)
        stage = rig.scratch("sample-update")
        shutil.copytree(os.path.join(HERE, "payload"), stage, dirs_exist_ok=True)
        for index, (rel, new, old) in enumerate(SAMPLE_PROGRAMS):
            place_pe(os.path.join(stage, rel), new, "sample-new-%d" % index)
            if old:
                place_pe(os.path.join(product, rel), old, "sample-old-%d" % index)
        exe = rig.stage_updater(stage)
        root_dir = rig.windows_path(product) + "\\"
        rig.reg_add(PRODUCT_KEY, "RootDir", "REG_SZ", root_dir)
        rig.reg_add(PRODUCT_KEY, "Version", "REG_SZ", "7.1.0.9")
        log_folder = os.path.join(rig.documents, "ormika")
        os.makedirs(log_folder)

        print("Installed product: HKLM%s  RootDir=%s  Version=7.1.0.9" % (PRODUCT_KEY, root_dir))
        print("Update staged at:  %s" % rig.windows_path(stage))
        print("Running:           updater.exe %s" % " ".join(ARGS))
        before = snapshot(product)

        proc = rig.start_updater(ARGS, exe=exe)
        progress_reader = rig.start_program(rig.tool_exe, ["progress", "--timeout-ms", "3000"])
        box = rig.tool("box", "--timeout-ms", "60000")
        progress = rig.tool_finish(progress_reader)
        code = rig.wait_exit(proc, 120)

        if progress.get("found") == b"1":
            print("Progress window:")
            show("text", progress.text("panel_text"))
            show("outer rect", progress.text("rect"))
            show("taskbar label", progress.text("owner_title"))
        else:
            print("Progress window:   shown too briefly to be read")
        if box.get("found") == b"1":
            print("Message box:")
            show("title", box.text("title"))
            show("text", box.text("text").replace("\r\n", "\n").replace("\r", "\n").rstrip("\n"))
            show("icon", box.text("icon"))
            show("button", box.text("button1"))
        else:
            print("Message box:       none appeared")
        print("Exit code:         %s" % code)

        print_changes(before, snapshot(product))
        log = os.path.join(log_folder, "TvzCopyErr.Log")
        if os.path.exists(log):
            print("Copy log %s:" % rig.windows_path(log))
            with open(log, "rb") as f:
                for line in f.read().decode("cp932").splitlines():
                    print("  " + line)
        else:
            print("Copy log:          none written (no file was left alone or failed)")
        return 0 if code == 0 and box.get("found") == b"1" else 1


if __name__ == "__main__":
    sys.exit(main())
