"""Makes the sample's update with update-kit and runs it once under Wine,
printing what happened.

The sample (sample.py) is two releases of a product and a machine with the
older one installed (/TORVEN 7.1, version 7.1.0.9, registered in the private
Wine prefix of the end-to-end tests). update-kit diff makes the payload
between the releases and update-kit stage puts updater.exe beside it (both
printed); then the updater is started as
    updater.exe /TORVEN 7.1.0.12 "サンプル更新"
The progress window and the final message box are read with the test tool
(the box's OK is pressed), then the changes in the product folder and the
copy log, if one was written, are printed.

The build run is the one named by E2E_BUILD (scripts/run-sample.sh sets it
from the probe: win32 where this machine executes 32-bit code, else win64).
"""

import hashlib
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))

from rig import TORVEN_071, Rig, Target, snapshot  # noqa: E402
from sample import ARGS, OLD, Sample  # noqa: E402

UPDATE_KIT = os.environ.get("E2E_UPDATE_KIT", os.path.join(HERE, "..", "..", "build", "native", "src", "kit",
                                                          "update-kit"))


def digests(files):
    """{relative path: SHA-256} of a snapshot."""
    return {path: hashlib.sha256(data).hexdigest() for path, data in files.items()}


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
    target = Target()
    print("Build:             %s (%s, %s)" % (target.build, target.updater, target.wine.name))
    with Rig(target) as rig:
        rig.reset()
        sample = Sample(rig, UPDATE_KIT)
        print("update-kit diff --from 7.1.0.9 --to 7.1.0.12 --out payload:")
        for line in sample.diff_output.splitlines():
            print("  " + line.replace("\t", "  "))
        print("update-kit stage --updater updater.exe --payload payload --out update:")
        print("  " + sample.stage_output.strip())
        print("Installed product: HKLM%s  RootDir=%s  Version=%s"
              % (TORVEN_071, sample.root_dir, OLD))
        print("Update staged at:  %s" % rig.windows_path(sample.stage))
        print("Running:           updater.exe %s" % " ".join(ARGS))
        progress, box, code = sample.run()

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

        print_changes(digests(sample.before), digests(snapshot(sample.product)))
        if os.path.exists(sample.log):
            print("Copy log %s:" % rig.windows_path(sample.log))
            with open(sample.log, "rb") as f:
                for line in f.read().decode("cp932").splitlines():
                    print("  " + line)
        else:
            print("Copy log:          none written (no file was left alone or failed)")
        return 0 if code == 0 and box.get("found") == b"1" else 1


if __name__ == "__main__":
    sys.exit(main())
