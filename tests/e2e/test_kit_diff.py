"""update-kit diff against the real updater under Wine.

Three generated releases, each a few hundred files (DLLs with Japanese
versions and data files; between releases some added, some changed, DLLs
with a raised version or, once, the same one, some unchanged, some removed,
one renamed in letter case, one removed and brought back): diff from the two
older to the newest, stage, and run the updater over each older release
installed. Afterwards each product folder holds the newest release byte for
byte, apart from the files diff warned would stay. That property is the test,
not a list of expected lines.

And the fault diff exists to catch: a changed DLL whose version went down is
an error and no payload is written; the same files put into an update by
hand are left alone by the updater, which still ends as if all went well.

update-kit is the native build's (E2E_UPDATE_KIT)."""

import hashlib
import json
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import place_pe  # noqa: E402
from rig import (TORVEN_071, TORVEN_LOG_FILE, TORVEN_LOG_FOLDER, RigTestCase,  # noqa: E402
                 cp932, read_bytes, run_tests, snapshot)

QUIET = ["/TORVEN", "7.1.0.12", "Pkg", "/QUIET"]
UPDATE_KIT = os.environ.get("E2E_UPDATE_KIT", "")
SEED = int(os.environ.get("DIFF_SEED", "26"))
FOLDERS = ["bin", "bin/tax", "data", "data/年度", "help/guide", "reports/月次"]
# A generous bound for a run of a few hundred files under the emulator.
RUN_TIMEOUT_S = 300


def folded(files):
    """{relative path: SHA-256} keyed as Windows matches names (ASCII case only here)."""
    return {rel.upper(): hashlib.sha256(data).hexdigest() for rel, data in files.items()}


class Release:
    """A release as {relative path: ("data", bytes) or ("dll", version, marker)}."""

    def __init__(self, files):
        self.files = dict(files)

    def evolved(self, rng, generation):
        """The next release: about a tenth of the files changed, a few added
        and removed, DLLs raised in version (one changed under the same)."""
        files = dict(self.files)
        names = sorted(files)
        for rel in rng.sample([rel for rel in names if "/" in rel], len(names) // 20):
            del files[rel]
        # A file at the top level lies beside the updater: changing one is an error.
        below = sorted(rel for rel in files if "/" in rel)
        for n, rel in enumerate(rng.sample(below, len(files) // 10)):
            spec = files[rel]
            if spec[0] == "data":
                data = bytearray(spec[1])
                if n % 2 and data:
                    data[len(data) // 2] ^= 0x5A  # the same size, other bytes
                else:
                    data += rng.randbytes(rng.randint(1, 300))
                files[rel] = ("data", bytes(data))
            else:
                files[rel] = ("dll", raised(spec[1], rng), "g%d-%s" % (generation, rel))
        same_version = rng.choice(sorted(r for r, s in files.items() if s[0] == "dll" and s == self.files.get(r)))
        files[same_version] = ("dll", files[same_version][1], "rebuilt-g%d-%s" % (generation, same_version))
        for n in range(len(names) // 30):
            files["%s/new-g%d-%d.dat" % (rng.choice(FOLDERS), generation, n)] = ("data", rng.randbytes(rng.randint(0, 2000)))
        files["bin/new-g%d.dll" % generation] = ("dll", "1.0.%d.0" % generation, "new-g%d" % generation)
        return Release(files)

    def write(self, folder):
        for rel, spec in self.files.items():
            path = os.path.join(folder, rel)
            if spec[0] == "dll":
                place_pe(path, spec[1], spec[2])
            else:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(spec[1])
        return folder


def raised(version, rng):
    """A version above `version`, sometimes across a digit (13.9 to 13.10)."""
    major, minor, build, revision = (int(n) for n in version.split("."))
    if rng.random() < 0.3:
        return "%d.%d.0.1" % (major, minor + 1)
    return "%d.%d.%d.%d" % (major, minor, build, revision + rng.randint(1, 20))


def first_release(rng):
    files = {"top-readme.txt": ("data", b"Beside the updater: never delivered, never changed.\r\n")}
    for n in range(240):
        files["%s/file%03d.dat" % (rng.choice(FOLDERS), n)] = ("data", rng.randbytes(rng.randint(0, 3000)))
    for n in range(12):
        files["bin/part%02d.dll" % n] = ("dll", "13.%d.0.%d" % (rng.randint(1, 9), rng.randint(1, 99)), "g0-%d" % n)
    return Release(files)


def kit(*arguments):
    return subprocess.run([UPDATE_KIT, *arguments], capture_output=True, text=True, timeout=300)


class KitDiffTest(RigTestCase):
    @classmethod
    def setUpClass(cls):
        if not UPDATE_KIT or not os.access(UPDATE_KIT, os.X_OK):
            raise RuntimeError("update-kit not found at %r (E2E_UPDATE_KIT): build the native preset first"
                               % UPDATE_KIT)
        super().setUpClass()

    def setUp(self):
        self.rig.reset()
        os.makedirs(os.path.join(self.rig.documents, TORVEN_LOG_FOLDER))

    def install(self, release_folder, name):
        """A product folder holding a copy of the release, registered as installed."""
        product = self.rig.scratch(name)
        shutil.copytree(release_folder, product, dirs_exist_ok=True)
        self.rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", self.rig.windows_path(product) + "\\")
        self.rig.reg_add(TORVEN_071, "Version", "REG_SZ", "7.1.0.1")
        return product

    def run_quiet(self, exe):
        run = self.rig.run_updater_silent(QUIET, exe=exe, exit_timeout=RUN_TIMEOUT_S)
        self.assertFalse(run.window_seen, run.watch)
        return run.exit_code

    def test_diff_stage_and_run_bring_every_old_release_to_the_new_one(self):
        rng = random.Random(SEED)
        releases = self.rig.scratch("releases")
        r0 = first_release(rng)
        r1 = r0.evolved(rng, 1)
        r2 = r1.evolved(rng, 2)
        # A name renamed in letter case, and a file removed in r1 that r2 brings back.
        folder, name = sorted(r for r in r1.files if r.endswith(".dat") and r in r2.files)[0].rsplit("/", 1)
        r2.files[folder + "/" + name.upper()] = r2.files.pop(folder + "/" + name)
        back = sorted(set(r0.files) - set(r1.files))[0]
        r2.files[back] = r0.files[back]
        old = [r0.write(os.path.join(releases, "r0")), r1.write(os.path.join(releases, "r1"))]
        new = r2.write(os.path.join(releases, "r2"))
        payload = os.path.join(releases, "payload")

        diff = kit("diff", "--from", old[0], "--from", old[1], "--to", new, "--out", payload, "--json")
        self.assertEqual(diff.returncode, 0, "seed %d:\n%s%s" % (SEED, diff.stdout, diff.stderr))
        report = json.loads(diff.stdout)
        self.assertTrue(report["payloadWritten"])

        update = self.rig.scratch("update")
        stage = kit("stage", "--updater", self.rig.updater, "--payload", payload, "--out", update)
        self.assertEqual(stage.returncode, 0, stage.stdout + stage.stderr)
        for index, release in enumerate(old):
            with self.subTest(installed=os.path.basename(release)):
                product = self.install(release, "product-%d" % index)
                self.assertEqual(self.run_quiet(os.path.join(update, "updater.exe")), 0)
                expected = folded(snapshot(new))
                installed = snapshot(release)
                expected.update(folded({f["path"]: installed[f["path"]] for f in report["findings"]
                                        if f["reason"].startswith("in %s but not in NEW" % release)}))
                self.assertEqual(folded(snapshot(product)), expected, "seed %d" % SEED)
        # The generated releases hold each kind of change, and diff said so.
        reasons = " ".join(f["reason"] for f in report["findings"])
        self.assertIn("Windows keeps the installed spelling", reasons)
        self.assertIn("nobody can tell the two builds apart", reasons)
        states = {m["state"] for f in report["files"] for m in f["machines"]}
        self.assertEqual(states, {"added", "changed", "unchanged"})

    def test_a_changed_dll_whose_version_went_down_is_an_error_and_the_updater_leaves_it_alone(self):
        releases = self.rig.scratch("releases")
        old = os.path.join(releases, "old")
        new = os.path.join(releases, "new")
        for folder, ledger, report, marker in ((old, "13.2.0.40", "13.1.0.7", "installed"),
                                               (new, "13.2.0.39", "13.1.0.9", "rebuilt")):
            place_pe(os.path.join(folder, "bin", "ledger.dll"), ledger, marker)
            place_pe(os.path.join(folder, "bin", "report.dll"), report, marker)
        payload = os.path.join(releases, "payload")

        diff = kit("diff", "--from", old, "--to", new, "--out", payload)
        self.assertEqual(diff.returncode, 1, diff.stdout + diff.stderr)
        self.assertIn("error: bin/ledger.dll: changed, but a machine with %s keeps its copy: the installed "
                      "FileVersion 13.2.0.40 (key 13;2;00;00040) sorts after the new 13.2.0.39 (key 13;2;00;00039)"
                      % old, diff.stdout)
        self.assertIn("no payload written", diff.stdout)
        self.assertEqual(sorted(os.listdir(releases)), ["new", "old"])

        # The same payload, put together by hand: the updater keeps the old DLL.
        stage = self.rig.scratch("update")
        shutil.copytree(os.path.join(new, "bin"), os.path.join(stage, "bin"))
        exe = self.rig.stage_updater(stage)
        product = self.install(old, "product")
        self.assertEqual(self.run_quiet(exe), 0)
        self.assertEqual(read_bytes(os.path.join(product, "bin", "ledger.dll")),
                         read_bytes(os.path.join(old, "bin", "ledger.dll")))
        self.assertEqual(read_bytes(os.path.join(product, "bin", "report.dll")),
                         read_bytes(os.path.join(new, "bin", "report.dll")))
        dest = self.rig.windows_path(product) + "\\bin\\ledger.dll"
        self.assertEqual(read_bytes(os.path.join(self.rig.documents, TORVEN_LOG_FOLDER, TORVEN_LOG_FILE)),
                         cp932("New[13.2.0.39] Org[13.2.0.40] FILE[%s]\r\n" % dest))


if __name__ == "__main__":
    run_tests()
