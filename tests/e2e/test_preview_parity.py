"""update-kit preview against the real updater under Wine: on the same staged
and installed trees, the files the preview says are copied are exactly the
files that change in the product folder (each to the staged bytes), the
files it says are left alone keep their bytes, its report bytes are the log
file's bytes, and its final box is the box the updater shows.

update-kit is the native build's (E2E_UPDATE_KIT, set by ctest to
build/native/src/kit/update-kit); build the native preset first."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import ENGLISH_TABLE, place_pe  # noqa: E402
from rig import (TORVEN_071, TORVEN_LOG_FILE, TORVEN_LOG_FOLDER, RigTestCase,  # noqa: E402
                 cp932, read_bytes, run_tests, snapshot)

ARGS = ["/TORVEN", "7.1.0.12", "Pkg"]
SUCCESS_TEXT = "インストールは正常に終了しました。"
FAILURE_TEXT = "ファイルのコピーに失敗しました。"
UPDATE_KIT = os.environ.get("E2E_UPDATE_KIT", "")


class Prediction:
    """What update-kit preview printed, taken apart."""

    def __init__(self, code, out, report_bytes):
        self.code = code
        self.out = out
        self.report_bytes = report_bytes
        self.entries = []  # (action, relative path with "/", new stamp, installed stamp)
        lines = out.split("\n")
        i = 0
        while i < len(lines) and lines[i]:
            action, rel, new, installed = lines[i].split("\t")
            self.entries.append((action, rel.replace("\\", "/"), new, installed))
            i += 1
        rest = lines[i + 1:]
        self.end = next(line for line in rest if line.startswith("end: "))
        report_at = next(n for n, line in enumerate(rest) if line.startswith("report: "))
        self.report_header = rest[report_at]
        self.report_lines = [line for line in rest[report_at + 1:] if line]

    def copied(self):
        return [rel for action, rel, _, _ in self.entries if action.startswith("copy ")]

    def left_alone(self):
        return [rel for action, rel, _, _ in self.entries if action.startswith("leave alone")]


def folded(files):
    """{relative path: bytes} keyed case-insensitively, as Windows names match."""
    return {rel.upper(): content for rel, content in files.items()}


class PreviewParityTest(RigTestCase):
    @classmethod
    def setUpClass(cls):
        if not UPDATE_KIT or not os.access(UPDATE_KIT, os.X_OK):
            raise RuntimeError("update-kit not found at %r (E2E_UPDATE_KIT): build the native preset first "
                               "(cmake --preset native && cmake --build --preset native)" % UPDATE_KIT)
        super().setUpClass()

    def setUp(self):
        self.rig.reset()

    # ---- helpers ------------------------------------------------------------

    def trees(self, stage_name="stage", product_name="product"):
        stage = self.rig.scratch(stage_name)
        exe = self.rig.stage_updater(stage)
        product = self.rig.scratch(product_name)
        target = self.rig.windows_path(product)
        self.rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", target + "\\")
        self.rig.reg_add(TORVEN_071, "Version", "REG_SZ", "7.1.0.1")
        return exe, stage, product, target + "\\"

    @staticmethod
    def pe(root, rel, version, marker, table=None):
        kwargs = {"table": table} if table else {}
        place_pe(os.path.join(root, *rel.split("/")), version, marker, **kwargs)

    @staticmethod
    def data(root, rel, content):
        path = os.path.join(root, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)

    def log_folder(self):
        path = os.path.join(self.rig.documents, TORVEN_LOG_FOLDER)
        os.makedirs(path, exist_ok=True)
        return path

    def preview(self, stage, product, target_root):
        report = os.path.join(self.rig.scratch("preview-out"), "report.bin")
        run = subprocess.run([UPDATE_KIT, "preview", stage, product, "--target-root", target_root,
                              "--source-root", self.rig.windows_path(stage), "--report-bytes", report],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertIn(run.returncode, (0, 1), run.stderr.decode("utf-8", "replace"))
        self.assertEqual(run.stderr, b"", "nothing but results on a non-terminal")
        return Prediction(run.returncode, run.stdout.decode("utf-8"), read_bytes(report))

    def run_updater(self, exe):
        box, code = self.rig.run_updater_box(ARGS, exe=exe, timeout_ms=60000, exit_timeout=30)
        self.assertEqual(box.get("found"), b"1", "no final box: %r" % (box,))
        self.assertEqual(code, 0)
        return box

    def assert_parity(self, exe, stage, product, target_root):
        """Previews, runs the updater, and compares what each says and did."""
        prediction = self.preview(stage, product, target_root)
        # Read through links too: a file reached through one is copied from there.
        staged = {rel.upper(): read_bytes(os.path.join(stage, *rel.split("/"))) for rel in prediction.copied()}
        before = folded(snapshot(product))
        log = os.path.join(self.rig.documents, TORVEN_LOG_FOLDER, TORVEN_LOG_FILE)
        if os.path.exists(log):
            os.unlink(log)

        box = self.run_updater(exe)
        after = folded(snapshot(product))

        # The final box, and the exit status that stands for it.
        expected_text = SUCCESS_TEXT if prediction.code == 0 else FAILURE_TEXT
        self.assertEqual(box["text"], cp932(expected_text), prediction.out)
        self.assertIn('box "%s"' % expected_text, prediction.end)

        # Copies: exactly the files that changed, each now the staged bytes.
        copied = {rel.upper() for rel in prediction.copied()}
        left = {rel.upper() for rel in prediction.left_alone()}
        self.assertFalse(copied & left, prediction.out)
        changed = {rel for rel, content in after.items() if before.get(rel) != content}
        self.assertEqual(changed, copied, prediction.out)
        for rel in copied:
            self.assertEqual(after[rel], staged[rel], rel)
        for rel in left:
            self.assertIn(rel, before, rel)
            self.assertEqual(after[rel], before[rel], rel)

        # The report: the log's bytes, and its lines as printed.
        if prediction.report_header.startswith("report: none"):
            self.assertFalse(os.path.exists(log), prediction.out)
            self.assertEqual(prediction.report_bytes, b"")
        else:
            self.assertEqual(prediction.report_bytes, read_bytes(log), prediction.out)
            self.assertEqual(prediction.report_lines, read_bytes(log).decode("cp932").split("\r\n")[:-1])
        return prediction

    # ---- cases --------------------------------------------------------------

    def test_every_decision_and_the_report_match_the_updater(self):
        # Folders ending in "ソ" (0x83 0x5C): a trail byte that is a "\".
        exe, stage, product, target = self.trees("配布ソ", "製品ソ")
        self.pe(stage, "Pkg/bin/older.dll", "13.1.2.80", "older-new")
        self.pe(product, "Pkg/bin/older.dll", "13.1.2.76", "older-old")
        self.pe(stage, "Pkg/bin/equal.dll", "13.1.2.80", "equal-new")
        self.pe(product, "Pkg/bin/EQUAL.DLL", "13.1.2.80", "equal-old")
        self.pe(stage, "Pkg/bin/numeric.dll", "13.10.0.1", "numeric-new")
        self.pe(product, "Pkg/bin/numeric.dll", "13.9.0.1", "numeric-old")
        self.pe(stage, "Pkg/bin/newer.dll", "13.1.2.76", "newer-new")
        self.pe(product, "Pkg/bin/newer.dll", "13.1.2.80", "newer-old")
        self.pe(stage, "Pkg/bin/english.dll", "1.0.0.0", "english-new", table=ENGLISH_TABLE)
        self.pe(product, "Pkg/bin/english.dll", "9.9.9.9", "english-old")
        self.pe(stage, "Pkg/bin/oldenglish.dll", "1.0.0.0", "oldenglish-new")
        self.pe(product, "Pkg/bin/oldenglish.dll", "9.9.9.9", "oldenglish-old", table=ENGLISH_TABLE)
        self.pe(stage, "Pkg/bin/three.dll", "1.2.3", "three-new")
        self.pe(product, "Pkg/bin/three.dll", "9.9.9.9", "three-old")
        self.pe(stage, "Pkg/bin/noversion.dll", None, "noversion-new")
        self.pe(product, "Pkg/bin/noversion.dll", "9.9.9.9", "noversion-old")
        self.pe(stage, "Pkg/bin/crlf.dll", "13.1.2.76", "crlf-new")
        self.pe(product, "Pkg/bin/crlf.dll", "13.1.\r\n2.80", "crlf-old")
        # Left alone in the order the updater takes them, which the log shows:
        # upper-cased UTF-16 order, not code page 932 byte order.
        for name in ("Ａ", "漢", "あ", "_x", "Z", "b"):
            self.pe(stage, "Pkg/順/%s.dll" % name, "1.0.0.0", "order-new-" + name)
            self.pe(product, "Pkg/順/%s.dll" % name, "2.0.0.0", "order-old-" + name)
        self.pe(stage, "Pkg/表/説明.dll", "1.0.0.0", "double-byte")
        self.data(stage, "Pkg/data/readme.txt", cp932("新しい説明\r\n"))
        self.data(product, "Pkg/data/readme.txt", cp932("古い説明\r\n"))
        self.data(stage, "Pkg/data/.settings", b"a dot-file\n")
        self.data(stage, "Pkg/data/deep/er/nest.bin", bytes(range(256)))
        self.data(stage, "Pkg/updater.exe", b"not the updater\n")
        self.data(stage, "Pkg2/tools/Updater.exe", b"only looks like the updater\n")
        self.data(stage, "loose.txt", b"beside the updater\n")
        self.log_folder()

        prediction = self.assert_parity(exe, stage, product, target)
        self.assertEqual(prediction.code, 0)
        actions = {rel: action for action, rel, _, _ in prediction.entries}
        self.assertEqual(actions["Pkg/bin/older.dll"], "copy (installed copy older)")
        self.assertEqual(actions["Pkg/bin/equal.dll"], "copy (installed copy equal)")
        self.assertEqual(actions["Pkg/bin/english.dll"], "copy (new file without a version)")
        self.assertEqual(actions["Pkg/bin/oldenglish.dll"], "copy (installed copy without a version)")
        self.assertEqual(actions["Pkg/表/説明.dll"], "copy (new file)")
        self.assertEqual(actions["Pkg/bin/newer.dll"], "leave alone (installed copy newer)")
        self.assertNotIn("Pkg/updater.exe", actions)
        self.assertNotIn("loose.txt", actions)
        self.assertEqual(len(prediction.report_lines), 8, prediction.out)

    def test_a_folder_past_the_ansi_limit_fails_alike(self):
        exe, stage, product, target = self.trees()
        self.data(stage, "A/first.txt", b"copied before the listing fails\n")
        deep = "B"
        while len(self.rig.windows_path(os.path.join(stage, deep))) < 220:
            deep += "/" + "d" * min(60, 220 - len(self.rig.windows_path(os.path.join(stage, deep))))
        self.data(stage, deep + "/" + "f" * 80 + ".txt", b"too deep\n")
        self.data(stage, "C/later.txt", b"never reached\n")
        self.log_folder()

        prediction = self.assert_parity(exe, stage, product, target)
        self.assertEqual(prediction.code, 1)
        self.assertEqual(prediction.copied(), ["A/first.txt"])

    def test_links_and_names_that_are_not_themselves_fail_alike(self):
        def link_loop(stage):
            os.symlink(os.path.join(stage, "Pkg", "bin"), os.path.join(stage, "Pkg", "bin", "loop"))

        def file_link(stage):
            os.symlink(os.path.join(stage, "A", "first.txt"), os.path.join(stage, "Pkg", "bin", "link.txt"))

        def climbing_name(stage):
            self.data(stage, "Pkg/bin/..¥..¥x.txt", b"x\n")

        def trailing_dot(stage):
            self.data(stage, "Pkg/bin/x.dat.", b"x\n")

        for plant in (link_loop, file_link, climbing_name, trailing_dot):
            with self.subTest(plant=plant.__name__):
                self.rig.reset()
                exe, stage, product, target = self.trees()
                self.data(stage, "A/first.txt", b"copied before\n")
                self.data(stage, "Pkg/bin/a.txt", b"a\n")
                plant(stage)
                self.log_folder()

                prediction = self.assert_parity(exe, stage, product, target)
                self.assertEqual(prediction.code, 1)
                self.assertEqual(prediction.copied(), ["A/first.txt"])

    def test_a_folder_link_in_the_installed_tree_fails_alike(self):
        exe, stage, product, target = self.trees()
        self.data(stage, "A/first.txt", b"copied before\n")
        self.data(stage, "Pkg/bin/a.txt", b"never written through the link\n")
        self.data(stage, "Pkg/z.txt", b"never reached\n")
        outside = self.rig.scratch("outside")
        os.makedirs(os.path.join(product, "Pkg"))
        os.symlink(outside, os.path.join(product, "Pkg", "bin"))
        self.log_folder()

        prediction = self.assert_parity(exe, stage, product, target)
        self.assertEqual(prediction.code, 1)
        self.assertEqual(prediction.copied(), ["A/first.txt"])
        self.assertEqual([(action, rel) for action, rel, _, _ in prediction.entries][-1],
                         ("fail (a folder on its way is a link)", "Pkg/bin/a.txt"), prediction.out)
        self.assertEqual(os.listdir(outside), [])


if __name__ == "__main__":
    run_tests()
