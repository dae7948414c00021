"""The updater's entry and pre-flight checks, run for real under Wine: the
command line, the product and edition choice, the registry lookup, the two
gates and the top-level error handler, as a user sees them (message boxes
byte for byte in code page 932, and exit codes)."""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from rig import TORVEN_KEY, VANTRIX_KEY, RigTestCase, Target, cp932, run_tests  # noqa: E402


WARNING = ("警告", "warning")
ERROR = ("エラー", "error")
INFORMATION = ("情報", "information")

SUCCESS_TEXT = "インストールは正常に終了しました。"


def not_installed(product, edition):
    return "『%s財務%s』がインストールされていません。\r" % (product, edition)


def newer_installed(version):
    return "既に新しいバージョン[%s]がインストールされているため実行できません。\r" % version


def application_error_pattern(kind, module, message):
    """The top-level error box's text. The code address is upper-case hex digits
    as wide as a pointer of the build: 8 in the 32-bit one, 16 in the 64-bit one."""
    digits = Target().bits // 4
    return re.compile(
        re.escape(cp932("%s がモジュール %s の " % (kind, module))) + rb"[0-9A-F]{%d}" % digits
        + re.escape(cp932(" で発生しました。\r\n%s\r\n" % message)) + rb"\Z")


class PreflightTest(RigTestCase):
    def setUp(self):
        self.rig.reset()
        self.product = self.rig.scratch("product")

    # ---- helpers ------------------------------------------------------------

    def install(self, key_format, suffix, root_dir=None, version=None):
        key = key_format % suffix
        if root_dir is not None:
            self.rig.reg_add(key, "RootDir", "REG_SZ", root_dir)
        if version is not None:
            self.rig.reg_add(key, "Version", "REG_SZ", version)

    def product_root(self):
        return self.rig.windows_path(self.product) + "\\"

    def run_box(self, args, **kwargs):
        box, code = self.rig.run_updater_box(args, **kwargs)
        self.assertEqual(box.get("found"), b"1", "no message box: %r" % (box,))
        return box, code

    def assert_run_ends_with_box(self, args, look, text, **kwargs):
        """An orderly run (exit code 0) whose one box is `look` with `text`."""
        box, code = self.run_box(args, **kwargs)
        self.assert_box(box, look, text)
        self.assertEqual(code, 0)

    def assert_box(self, box, look, text, label="updater"):
        """A box of the program's own: title and icon of its kind, the text, one
        default "OK", the application's taskbar window shown beside it."""
        title, icon = look
        self.assertEqual(box.text("process").lower(), (label + ".exe").lower(), box)
        self.assertEqual(box["title"], cp932(title), box)
        self.assertEqual(box["text"], cp932(text), box)
        self.assertEqual(box.text("icon"), icon, box)
        self.assertEqual(box.number("buttons"), 1, box)
        self.assertEqual(box["button1"], b"OK", box)
        self.assertEqual(box.number("button1_default"), 1, box)
        self.assertEqual(box.number("owner_visible"), 1, box)
        self.assertEqual(box["owner_title"], cp932(label), box)
        self.assertEqual(box.number("closed"), 1, box)

    def assert_application_error(self, box, code, message, module="updater.exe"):
        self.assertEqual(box["title"], cp932("アプリケーション エラー"), box)
        self.assertRegex(box["text"], application_error_pattern("ERegistryError", module, message))
        self.assertEqual(box.text("icon"), "error", box)  # the stop sign
        self.assertEqual(box.number("buttons"), 1, box)
        self.assertEqual(box["button1"], b"OK", box)
        self.assertEqual(box.number("closed"), 1, box)
        self.assertEqual(code, 1)

    def assert_silent(self, args, **kwargs):
        run = self.rig.run_updater_silent(args, **kwargs)
        self.assertFalse(run.window_seen, run)
        self.assertEqual(run.exit_code, 0, run)

    # ---- the command line -----------------------------------------------------

    def test_no_arguments_end_silently(self):
        self.assert_silent([])

    def test_unrecognised_switches_end_silently(self):
        # The product is installed, so an accepted switch would end in a box.
        self.install(TORVEN_KEY, "071", self.product_root(), "7.1.0.9")
        for switch in ("-TORVEN", "/TORVEN ", "TORVEN", "/TORVENX"):
            with self.subTest(switch=switch):
                self.assert_silent([switch, "7.1.0.12", "Pkg"])

    def test_switch_is_upper_cased_before_it_is_compared(self):
        for switch, product in (("/torven", "トーヴェン"), ("/Vantrix", "VANTRiX")):
            with self.subTest(switch=switch):
                self.assert_run_ends_with_box([switch, "7.1.0.12", "Pkg"], WARNING, not_installed(product, "15 消改版"))

    def test_unknown_version_code_warns_with_the_three_arguments_unchanged(self):
        cases = [
            (["/TORVEN", "8", "Pkg"], '"/TORVEN" "8" "Pkg"'),
            (["/torven", "7.2.0.1", "更新パッケージ"], '"/torven" "7.2.0.1" "更新パッケージ"'),
            (["/VANTRIX", "07.1"], '"/VANTRIX" "07.1" ""'),
            (["/TORVEN"], '"/TORVEN" "" ""'),
        ]
        for args, shown in cases:
            with self.subTest(args=args):
                self.assert_run_ends_with_box(args, WARNING, "パラメータを確認[ %s ]" % shown)

    def test_empty_quoted_version_argument_is_skipped(self):
        # Wine passes an empty argument as "" on the command line; the updater
        # skips an empty quote pair, so the display name moves up.
        cmdline = self.rig.tool("cmdline", "/TORVEN", "", "Pkg")
        self.assertTrue(cmdline["cmdline"].endswith(b' /TORVEN "" Pkg'), cmdline)
        self.assert_run_ends_with_box(["/TORVEN", "", "Pkg"], WARNING, 'パラメータを確認[ "/TORVEN" "Pkg" "" ]')

    # ---- the installed-product lookup and gate 1 ------------------------------

    def test_not_installed_names_the_edition(self):
        cases = [
            (["/TORVEN", "8.1.2", "Pkg"], "トーヴェン", "17 消改版"),
            (["/TORVEN", "4.0.0.1", "Pkg"], "トーヴェン", "12"),
            (["/TORVEN", "6.1", "Pkg"], "トーヴェン", "14 消改版"),
            (["/VANTRIX", "7.0.3", "Pkg"], "VANTRiX", "15"),
            (["/VANTRIX", "8.0.1", "Pkg"], "VANTRiX", "17"),
        ]
        for args, product, edition in cases:
            with self.subTest(args=args):
                self.assert_run_ends_with_box(args, WARNING, not_installed(product, edition))

    def test_version_without_root_folder_is_not_installed(self):
        self.install(TORVEN_KEY, "071", version="7.1.0.9")
        self.assert_run_ends_with_box(["/TORVEN", "7.1.0.12", "Pkg"], WARNING, not_installed("トーヴェン", "15 消改版"))

    def test_root_folder_that_is_not_an_absolute_path_is_not_installed(self):
        # Each would resolve against the current folder, the user's documents
        # ("\\" names the current drive's root, "\\\" a network path), or is a
        # device path.
        for root_dir in ("\\", "\\\\", "\\\\\\", "ORMIKA", "C:ORMIKA", "\\ORMIKA", "\\\\?\\C:\\ORMIKA"):
            with self.subTest(root_dir=root_dir):
                self.install(TORVEN_KEY, "071", root_dir, "7.1.0.9")
                self.assert_run_ends_with_box(["/TORVEN", "7.1.0.12", "Pkg"], WARNING,
                                              not_installed("トーヴェン", "15 消改版"))

    def test_edition_80_reads_the_key_whose_name_ends_in_a_blank(self):
        # Registered under the name without the blank: not found.
        self.install(TORVEN_KEY, "080", self.product_root(), "8.0.1")
        self.assert_run_ends_with_box(["/TORVEN", "8.0.5", "Pkg"], WARNING, not_installed("トーヴェン", "17"))
        # Registered under "080 ": both gates pass.
        self.install(TORVEN_KEY, "080 ", self.product_root(), "8.0.1")
        self.assert_run_ends_with_box(["/TORVEN", "8.0.5", "Pkg"], INFORMATION, SUCCESS_TEXT)

    def test_vantrix_product_passes_both_gates(self):
        self.install(VANTRIX_KEY, "080 ", self.product_root(), "8.0.1")
        self.assert_run_ends_with_box(["/VANTRIX", "8.0.2", "Pkg"], INFORMATION, SUCCESS_TEXT)

    # ---- gate 2: the installed version ---------------------------------------

    def test_newer_installed_version_refuses_the_update(self):
        for installed, argument in (("8.0.10", "8.0.9"), ("8.1.0.1", "8.0.9.9"), ("8.0.2", "8.0.1.99")):
            with self.subTest(installed=installed, argument=argument):
                self.rig.reset()
                self.install(TORVEN_KEY, "080 ", self.product_root(), installed)
                self.assert_run_ends_with_box(["/TORVEN", argument, "Pkg"], ERROR, newer_installed(installed))

    def test_older_or_equal_installed_version_lets_the_update_run(self):
        # Compared number by number at the dots: 8.0.9 is older than 8.0.10.
        cases = (("8.0.9", "8.0.10"), ("8.0.10", "8.0.10"), ("8.0.1", "8.0.1.1"), ("", "8.0.3"))
        for installed, argument in cases:
            with self.subTest(installed=installed, argument=argument):
                self.rig.reset()
                self.install(TORVEN_KEY, "080 ", self.product_root(), installed or None)
                self.assert_run_ends_with_box(["/TORVEN", argument, "Pkg"], INFORMATION, SUCCESS_TEXT)

    def test_seventh_edition_with_more_digits_passes(self):
        self.install(TORVEN_KEY, "071", self.product_root(), "7.1.0.9")
        self.assert_run_ends_with_box(["/TORVEN", "7.1.0.12", "サンプル"], INFORMATION, SUCCESS_TEXT)

    def test_expandable_text_value_is_read_as_text(self):
        # Not expanded: "%SystemDrive%\\Prod" would be a path relative to the
        # current folder, and so no product folder at all.
        self.rig.reg_add(TORVEN_KEY % "071", "RootDir", "REG_EXPAND_SZ", "C:\\%NotExpanded%\\")
        self.assert_run_ends_with_box(["/TORVEN", "7.1.0.12", "Pkg"], INFORMATION, SUCCESS_TEXT)
        self.rig.reg_add(TORVEN_KEY % "071", "RootDir", "REG_EXPAND_SZ", "%SystemDrive%\\Prod\\")
        self.assert_run_ends_with_box(["/TORVEN", "7.1.0.12", "Pkg"], WARNING, not_installed("トーヴェン", "15 消改版"))

    # ---- the top-level error handler -------------------------------------------

    def test_root_folder_of_wrong_type_ends_with_the_application_error(self):
        self.rig.reg_add(TORVEN_KEY % "071", "RootDir", "REG_DWORD", "5")
        box, code = self.run_box(["/TORVEN", "7.1.0.12", "Pkg"])
        self.assert_application_error(box, code, "'RootDir' のデータ型が不正です.")

    def test_version_of_wrong_type_ends_with_the_application_error(self):
        self.install(TORVEN_KEY, "080 ", self.product_root())
        self.rig.reg_add(TORVEN_KEY % "080 ", "Version", "REG_BINARY", "0801")
        box, code = self.run_box(["/TORVEN", "8.0.3", "Pkg"])
        self.assert_application_error(box, code, "'Version' のデータ型が不正です.")

    # ---- where the updater lies and what it is called -------------------------

    def test_updater_at_a_drive_root_runs(self):
        drive = self.rig.scratch("drive_e")
        self.rig.map_drive("E", drive)
        exe = self.rig.stage_updater(drive)
        self.assertEqual(self.rig.windows_path(exe), "E:\\updater.exe")
        self.install(TORVEN_KEY, "071", self.product_root(), "7.1.0.9")
        self.assert_run_ends_with_box(["/TORVEN", "7.1.0.12", "Pkg"], INFORMATION, SUCCESS_TEXT, exe=exe)

    def test_executable_name_labels_the_taskbar_and_the_error_box(self):
        # "表" ends in the byte 0x5C, which must not be taken for a "\".
        for name, label in (("UPDATER.EXE", "Updater"), ("表示.exe", "表示")):
            with self.subTest(name=name):
                self.rig.reset()
                exe = self.rig.stage_updater(self.rig.scratch("stage"), name)
                box, code = self.run_box(["/TORVEN", "8", "Pkg"], exe=exe)
                self.assert_box(box, WARNING, 'パラメータを確認[ "/TORVEN" "8" "Pkg" ]', label=label)
                self.assertEqual(code, 0)
                self.rig.reg_add(TORVEN_KEY % "071", "RootDir", "REG_DWORD", "1")
                box, code = self.run_box(["/TORVEN", "7.1.0.12", "Pkg"], exe=exe)
                self.assert_application_error(box, code, "'RootDir' のデータ型が不正です.", module=name)


if __name__ == "__main__":
    run_tests()
