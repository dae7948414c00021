"""The base of the test classes that run whole updates: a staging folder
with updater.exe beside its payload, the product registered at a folder,
the copy log, the final box and the product folder compared file by file.
Importing this module changes nothing."""

import os

from payload_files import Tree
from rig import TORVEN_071, TORVEN_LOG_FILE, TORVEN_LOG_FOLDER, RigTestCase, cp932, snapshot

ARGS = ["/TORVEN", "7.1.0.12", "Pkg"]

SUCCESS = ("情報", "information", "インストールは正常に終了しました。")
FAILURE = ("エラー", "error", "ファイルのコピーに失敗しました。")


def failed_line(new, dest):
    return cp932("New[%s]  FILE[%s]\r\n" % (new, dest))


class UpdateTestCase(RigTestCase):
    def setUp(self):
        self.rig.reset()

    # ---- helpers ------------------------------------------------------------

    def stage(self, folder_name="stage"):
        """A staging folder with updater.exe in it, and its payload tree."""
        folder = self.rig.scratch(folder_name)
        exe = self.rig.stage_updater(folder)
        return exe, Tree(folder)

    def install(self, root_dir, version="7.1.0.1"):
        self.rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", root_dir)
        self.rig.reg_add(TORVEN_071, "Version", "REG_SZ", version)

    def install_at(self, folder):
        """Registers the product at folder (RootDir with its trailing "\\");
        returns the target root the updater works with (without it)."""
        target = self.rig.windows_path(folder)
        self.install(target + "\\")
        return target

    def log_folder(self):
        path = os.path.join(self.rig.documents, TORVEN_LOG_FOLDER)
        os.makedirs(path, exist_ok=True)
        return path

    def log_path(self):
        return os.path.join(self.rig.documents, TORVEN_LOG_FOLDER, TORVEN_LOG_FILE)

    def run_update(self, exe, expected):
        box, code = self.rig.run_updater_box(ARGS, exe=exe, timeout_ms=60000, exit_timeout=30)
        self.assert_final_box(box, code, expected)
        return box

    def assert_final_box(self, box, code, expected):
        title, icon, text = expected
        self.assertEqual(box.get("found"), b"1", "no final box: %r" % (box,))
        self.assertEqual(box["title"], cp932(title), box)
        self.assertEqual(box.text("icon"), icon, box)
        self.assertEqual(box["text"], cp932(text), box)
        self.assertEqual(box.number("closed"), 1, box)
        self.assertEqual(code, 0)

    def assert_tree(self, root, expected):
        actual = snapshot(root)
        self.assertEqual(sorted(actual), sorted(expected), "files under %s" % root)
        for rel, content in expected.items():
            self.assertEqual(actual[rel], content, "bytes of %s" % rel)

