"""The copy phase run for real under Wine: the payload beside updater.exe is
copied into the installed product's folder by the shell, file versions are
read from real version resources, and the run ends with its final box.

Each case stages updater.exe beside payload sub-folders, registers the
installed product, runs `updater.exe /TORVEN 7.1.0.12 Pkg`, reads and presses
the final box, and then compares the product folder file by file and the
copy log byte for byte (code page 932, CR LF, no byte-order mark)."""

import os
import stat
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import ENGLISH_TABLE, JAPANESE_TABLE, place_pe  # noqa: E402
from rig import (TORVEN_071, TORVEN_LOG_FILE, TORVEN_LOG_FOLDER, RigTestCase,  # noqa: E402
                 cp932, read_bytes, run_tests, snapshot)

ARGS = ["/TORVEN", "7.1.0.12", "Pkg"]

SUCCESS = ("情報", "information", "インストールは正常に終了しました。")
FAILURE = ("エラー", "error", "ファイルのコピーに失敗しました。")

# Hidden and system, as Wine keeps DOS attributes of a Unix file.
DOS_ATTRIBUTES = "user.DOSATTRIB"
HIDDEN_SYSTEM = b"0x6"


def left_alone_line(new, old, dest):
    return cp932("New[%s] Org[%s] FILE[%s]\r\n" % (new, old, dest))


def failed_line(new, dest):
    return cp932("New[%s]  FILE[%s]\r\n" % (new, dest))


class Tree:
    """A folder being filled with payload or installed files; remembers what
    it wrote so that a case can say what it expects afterwards."""

    def __init__(self, root):
        self.root = root
        self.files = {}

    def path(self, rel):
        return os.path.join(self.root, *rel.split("/"))

    def pe(self, rel, version, marker, table=JAPANESE_TABLE):
        self.files[rel] = place_pe(self.path(rel), version, marker, table=table)
        return self.files[rel]

    def data(self, rel, content):
        path = self.path(rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        self.files[rel] = content
        return content

    def many(self, count, seed, size=110000):
        """`count` data files of `size` bytes in Pkg/0 .. Pkg/3, each with bytes
        of its own (`seed` tells one tree's from another's)."""
        for i in range(count):
            rel = "Pkg/%d/f%03d.bin" % (i % 4, i)
            head = ("%s %s\n" % (seed, rel)).encode()
            self.data(rel, (head * (size // len(head) + 1))[:size])


class CopyTest(RigTestCase):
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

    # ---- cases --------------------------------------------------------------

    def test_payload_replaces_older_keeps_newer_and_logs_what_it_left(self):
        # The staging, product and one payload folder end in "ソ" or "表"
        # (0x83 0x5C, 0x95 0x5C in code page 932): a trail byte that is a "\"
        # must not be taken for a separator.
        exe, new = self.stage("配布ソ")
        product = self.rig.scratch("製品ソ")
        target = self.install_at(product)
        old = Tree(product)

        # Version resources: replaced when the installed copy is older or equal.
        new.pe("Pkg/bin/older.dll", "13.1.2.80", "older-new")
        old.pe("Pkg/bin/older.dll", "13.1.2.76", "older-old")
        new.pe("Pkg/bin/equal.dll", "13.1.2.80", "equal-new")
        old.pe("Pkg/bin/equal.dll", "13.1.2.80", "equal-old")
        # Compared as numbers: 10 > 9 and 123456 > 99999, whatever the text order says.
        new.pe("Pkg/bin/numeric.dll", "13.10.0.1", "numeric-new")
        old.pe("Pkg/bin/numeric.dll", "13.9.0.1", "numeric-old")
        new.pe("Pkg/bin/wide.dll", "1.0.0.123456", "wide-new")
        old.pe("Pkg/bin/wide.dll", "1.0.0.99999", "wide-old")
        # Left alone: the installed copy is newer.
        new.pe("Pkg/bin/newer.dll", "13.1.2.76", "newer-new")
        kept_newer = old.pe("Pkg/bin/newer.dll", "13.1.2.80", "newer-old")
        new.pe("Pkg2/lib/newer2.dll", "2.0.0.0", "newer2-new")
        kept_newer2 = old.pe("Pkg2/lib/newer2.dll", "10.0.0.0", "newer2-old")
        # No usable Japanese version on one side: always copied.
        new.pe("Pkg/bin/english.dll", "1.0.0.0", "english-new", table=ENGLISH_TABLE)
        old.pe("Pkg/bin/english.dll", "9.9.9.9", "english-old")
        new.pe("Pkg/bin/oldenglish.dll", "1.0.0.0", "oldenglish-new")
        old.pe("Pkg/bin/oldenglish.dll", "9.9.9.9", "oldenglish-old", table=ENGLISH_TABLE)
        new.pe("Pkg/bin/three.dll", "1.2.3", "three-new")
        old.pe("Pkg/bin/three.dll", "9.9.9.9", "three-old")
        new.pe("Pkg/bin/noversion.dll", None, "noversion-new")
        old.pe("Pkg/bin/noversion.dll", "9.9.9.9", "noversion-old")
        # Plain data, hidden files, a nested folder the product does not have yet.
        new.data("Pkg/data/readme.txt", cp932("新しい説明\r\n"))
        old.data("Pkg/data/readme.txt", cp932("古い説明\r\n"))
        new.data("Pkg/data/.settings", b"a Unix dot-file is hidden in Wine\n")
        new.data("Pkg/data/secret.dat", b"hidden and system\n")
        os.setxattr(new.path("Pkg/data/secret.dat"), DOS_ATTRIBUTES, HIDDEN_SYSTEM)
        new.data("Pkg/data/deep/er/nest.bin", bytes(range(256)) * 64)
        # Where a new file is first written: a run killed mid-copy leaves this.
        old.data("Pkg/data/~upd.tmp", b"the start of a file whose copy was cut short\n")
        new.data("Pkg/表/説明.txt", cp932("表の説明\r\n"))
        # Read-only (Wine keeps the flag as a mode without write permission):
        # replaced all the same, and writable afterwards.
        new.data("Pkg/bin/ro.txt", b"replaces a read-only file\n")
        old.data("Pkg/bin/ro.txt", b"installed read-only\n")
        os.chmod(old.path("Pkg/bin/ro.txt"), 0o444)
        os.makedirs(new.path("Pkg/empty"))
        # The updater's own name is skipped at every depth, byte-wise: the same
        # name in another case is an ordinary payload file.
        new.data("Pkg/updater.exe", b"not the updater\n")
        new.data("Pkg/data/deep/updater.exe", b"not the updater either\n")
        new.data("Pkg2/tools/Updater.exe", b"a tool that only looks like the updater\n")
        # Files beside the updater are not payload.
        new.data("loose.txt", b"beside the updater\n")
        self.assertEqual(os.listxattr(new.path("Pkg/data/.settings")), [])

        log_folder = self.log_folder()
        with open(os.path.join(log_folder, TORVEN_LOG_FILE), "wb") as f:
            f.write(b"an older log, to be replaced\r\n")

        self.run_update(exe, SUCCESS)

        expected = dict(old.files)
        del expected["Pkg/data/~upd.tmp"]
        skipped = {"Pkg/updater.exe", "Pkg/data/deep/updater.exe", "loose.txt"}
        expected.update({rel: content for rel, content in new.files.items() if rel not in skipped})
        expected["Pkg/bin/newer.dll"] = kept_newer
        expected["Pkg2/lib/newer2.dll"] = kept_newer2
        self.assert_tree(product, expected)
        self.assertTrue(os.path.isdir(os.path.join(product, "Pkg", "data", "deep", "er")))
        self.assertTrue(os.stat(old.path("Pkg/bin/ro.txt")).st_mode & stat.S_IWUSR, "still read-only")

        self.assertEqual(
            read_bytes(self.log_path()),
            left_alone_line("13.1.2.76", "13.1.2.80", target + "\\Pkg\\bin\\newer.dll")
            + left_alone_line("2.0.0.0", "10.0.0.0", target + "\\Pkg2\\lib\\newer2.dll"))

    def test_failed_copy_stops_the_run_and_is_logged_last(self):
        exe, new = self.stage()
        product = self.rig.scratch("product")
        target = self.install_at(product)
        old = Tree(product)
        # Search order is by name: a1, a2, a3, a4, a5, then the folder Pkg2.
        new.data("Pkg/a1.dat", b"first, copied\n")
        new.pe("Pkg/a2.dll", "1.0.0.0", "a2-new")
        old.pe("Pkg/a2.dll", "2.0.0.0", "a2-old")
        new.pe("Pkg/a3.dll", "13.1.2.80", "a3-new")
        old.pe("Pkg/a3.dll", "13.1.2.70", "a3-old")
        new.data("Pkg/a4.dat", b"fourth, new\n")
        old.data("Pkg/a4.dat", b"fourth, installed\n")
        new.data("Pkg/a5.dat", b"fifth, new\n")
        new.data("Pkg2/z.dat", b"in the next folder\n")
        before = dict(old.files)
        self.log_folder()

        # a3.dll is held open without sharing: the shell cannot replace it.
        release = os.path.join(self.rig.scratch("release"), "release")
        holder = self.rig.tool_start("hold", self.rig.windows_path(old.path("Pkg/a3.dll")),
                                     "--release", self.rig.windows_path(release))
        self.assertIn(b"held=1", holder.read_output())
        try:
            self.run_update(exe, FAILURE)
        finally:
            open(release, "w").close()
            held = self.rig.tool_finish(holder)
        self.assertEqual(held.number("released"), 1, held)

        expected = dict(before)
        expected["Pkg/a1.dat"] = new.files["Pkg/a1.dat"]
        self.assert_tree(product, expected)
        self.assertEqual(
            read_bytes(self.log_path()),
            left_alone_line("1.0.0.0", "2.0.0.0", target + "\\Pkg\\a2.dll")
            + failed_line("13.1.2.80", target + "\\Pkg\\a3.dll"))

    def test_stamps_are_keyed_by_the_items_read_and_logged_on_one_line(self):
        exe, new = self.stage()
        product = self.rig.scratch("product")
        target = self.install_at(product)
        old = Tree(product)
        # Read as 13, 1, 2, 80: newer than the update's file, which stays out.
        new.pe("Pkg/dot.dll", "13.1.2.76", "dot-new")
        kept_dot = old.pe("Pkg/dot.dll", ".13.1.2.80", "dot-old")
        # Line breaks end items too; in the log they are blanks, one entry a line.
        new.pe("Pkg/lines.dll", "13.1.2.76", "lines-new")
        kept_lines = old.pe("Pkg/lines.dll", "13.1.\r\n2.80", "lines-old")
        new.pe("Pkg/plain.dll", "13.1.2.80", "plain-new")
        old.pe("Pkg/plain.dll", "13.1.2.76", "plain-old")
        self.log_folder()

        self.run_update(exe, SUCCESS)

        expected = dict(old.files)
        expected["Pkg/plain.dll"] = new.files["Pkg/plain.dll"]
        expected["Pkg/dot.dll"] = kept_dot
        expected["Pkg/lines.dll"] = kept_lines
        self.assert_tree(product, expected)
        self.assertEqual(
            read_bytes(self.log_path()),
            left_alone_line("13.1.2.76", ".13.1.2.80", target + "\\Pkg\\dot.dll")
            + left_alone_line("13.1.2.76", "13.1.  2.80", target + "\\Pkg\\lines.dll"))

    def assert_payload_folder_refused(self, plant):
        """Stages A/first.txt and Pkg/kept.txt, lets plant(new, cases) put
        something into Pkg, and checks that the run copies A, refuses Pkg
        whole with its failure line, and ends with the copy-failed box."""
        self.rig.reset()
        exe, new = self.stage()
        product = os.path.join(self.rig.scratch("product"), "inner")
        self.install_at(product)
        new.data("A/first.txt", b"copied before\n")
        new.data("Pkg/kept.txt", b"never copied: its folder is refused\n")
        plant(new, self.rig.cases)
        self.log_folder()

        self.run_update(exe, FAILURE)

        self.assertEqual(snapshot(os.path.dirname(product)), {"inner/A/first.txt": b"copied before\n"})
        self.assertEqual(read_bytes(self.log_path()),
                         failed_line("0.0.0.0", self.rig.windows_path(new.path("Pkg")) + "\\"))

    def test_a_name_that_is_not_itself_on_windows_refuses_its_folder(self):
        def planted(name):
            def plant(new, cases):
                with open(os.path.join(cases, "evil.txt"), "wb") as f:
                    f.write(b"the source a climbing name would reach\n")
                new.data("Pkg/" + name, b"payload\n")
            return plant

        # "¥" reaches the ANSI calls as "\\": this one would climb out of both roots.
        for name in ("..¥..¥evil.txt", "한국어.txt", "x.dat.", "x.dat ", "con.txt"):
            with self.subTest(name=name):
                self.assert_payload_folder_refused(planted(name))

    def test_a_link_in_the_payload_refuses_its_folder(self):
        def secret(cases):
            folder = os.path.join(cases, "secret")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "key.txt"), "wb") as f:
                f.write(b"only the administrator may read this\n")
            return folder

        plants = {
            "folder link out of the payload": lambda new, cases: os.symlink(secret(cases), new.path("Pkg/out")),
            "folder link back into it": lambda new, cases: os.symlink(new.path("Pkg"), new.path("Pkg/loop")),
            "file link": lambda new, cases: os.symlink(os.path.join(secret(cases), "key.txt"),
                                                       new.path("Pkg/key.txt")),
            "hard link": lambda new, cases: os.link(os.path.join(secret(cases), "key.txt"),
                                                    new.path("Pkg/key.txt")),
        }
        for kind, plant in plants.items():
            with self.subTest(kind=kind):
                self.assert_payload_folder_refused(plant)

    def test_the_log_is_never_written_through_a_link(self):
        def run(link_the_log):
            self.rig.reset()
            exe, new = self.stage()
            product = self.rig.scratch("product")
            target = self.install_at(product)
            new.pe("Pkg/a.dll", "1.0.0.0", "a-new")
            Tree(product).pe("Pkg/a.dll", "2.0.0.0", "a-old")  # left alone: the report has a line
            victim = os.path.join(self.rig.scratch("system"), TORVEN_LOG_FILE)
            with open(victim, "wb") as f:
                f.write(b"a file the user may not write\r\n")
            link_the_log(victim)
            self.run_update(exe, SUCCESS)
            return target, victim

        def folder_link(victim):
            os.symlink(os.path.dirname(victim), os.path.join(self.rig.documents, TORVEN_LOG_FOLDER))

        def file_link(victim):
            os.symlink(victim, os.path.join(self.log_folder(), TORVEN_LOG_FILE))

        def hard_link(victim):
            os.link(victim, os.path.join(self.log_folder(), TORVEN_LOG_FILE))

        for plant in (folder_link, file_link, hard_link):
            with self.subTest(link=plant.__name__):
                target, victim = run(plant)
                self.assertEqual(read_bytes(victim), b"a file the user may not write\r\n")
                self.assertEqual(os.listdir(os.path.dirname(victim)), [TORVEN_LOG_FILE])

        # A real log folder and log file: written as always, the old log replaced.
        with self.subTest(link="none"):
            target, victim = run(lambda victim: open(self.log_path(), "wb").close() if self.log_folder() else None)
            self.assertEqual(read_bytes(self.log_path()),
                             left_alone_line("1.0.0.0", "2.0.0.0", target + "\\Pkg\\a.dll"))

    def test_a_link_in_the_product_folder_is_never_written_through(self):
        # Each plants a link in the product folder to something outside it and
        # returns the payload file that meets the link.
        def folder_link(product, outside):
            os.symlink(outside, os.path.join(product, "bin"))
            return "bin/evil.dll"

        def link_in_bin(name, target, payload):
            def plant(product, outside):
                os.makedirs(os.path.join(product, "bin"))
                os.symlink(os.path.join(outside, target), os.path.join(product, "bin", name))
                return payload
            plant.__name__ = "link %s -> %s" % (name, target)
            return plant

        file_link = link_in_bin("a.txt", "victim.ini", "bin/a.txt")
        # Where the new file is first written. A run killed mid-copy leaves a
        # plain file there, which is removed; a link is not (Wine deletes a
        # link's target, and the shell would follow one that leads nowhere
        # and make its file), and the copy fails.
        temporary_link = link_in_bin("~upd.tmp", "victim.ini", "bin/c.txt")
        dangling_temporary_link = link_in_bin("~upd.tmp", "planted.ini", "bin/d.txt")

        # Another updater's new file, or any program's, open with all sharing
        # (until the rig's next reset ends the program): neither removed nor
        # renamed into place.
        def temporary_file_in_use(product, outside):
            Tree(product).data("bin/~upd.tmp", b"another program's file, still open\n")
            self.rig.tool_start("hold", self.rig.windows_path(Tree(product).path("bin/~upd.tmp")), "--share", "all",
                                "--release", self.rig.windows_path(os.path.join(outside, "never")))
            return "bin/e.txt"

        def hard_link(product, outside):
            Tree(product).data("bin/b.txt", b"installed, with a second name outside\n")
            os.link(os.path.join(product, "bin", "b.txt"), os.path.join(outside, "other.txt"))
            return "bin/b.txt"

        # A folder link cannot be followed: its copy fails. A file link or a
        # hard-linked file is replaced by a file of its own.
        for plant, refused in ((folder_link, True), (file_link, False), (hard_link, False),
                               (temporary_link, True), (dangling_temporary_link, True),
                               (temporary_file_in_use, True)):
            with self.subTest(link=plant.__name__):
                self.rig.reset()
                exe, new = self.stage()
                product = self.rig.scratch("product")
                target = self.install_at(product)
                outside = self.rig.scratch("outside")
                Tree(outside).data("victim.ini", b"[only the administrator writes here]\r\n")
                rel = plant(product, outside)
                kept = snapshot(outside)
                planted = snapshot(product)
                # Folders go in upper-cased name order: A, BIN, C.
                new.data("A/first.txt", b"copied first\n")
                new.data(rel, b"payload\n")
                new.data("C/last.txt", b"copied last, unless the run stopped\n")
                self.log_folder()

                box, code = self.rig.run_updater_box(ARGS, exe=exe, timeout_ms=60000, exit_timeout=30)

                self.assertEqual(snapshot(outside), kept, "outside the product folder")
                if refused:
                    self.assert_final_box(box, code, FAILURE)
                    self.assert_tree(product, dict(planted, **{"A/first.txt": new.files["A/first.txt"]}))
                    self.assertEqual(read_bytes(self.log_path()),
                                     failed_line("0.0.0.0", target + "\\" + rel.replace("/", "\\")))
                else:
                    self.assert_final_box(box, code, SUCCESS)
                    dest = Tree(product).path(rel)
                    self.assertFalse(os.path.islink(dest))
                    self.assertEqual(os.stat(dest).st_nlink, 1)
                    self.assert_tree(product, new.files)
                    self.assertFalse(os.path.exists(self.log_path()))

    def test_a_full_disk_leaves_the_installed_file_whole(self):
        exe, new = self.stage()
        product = self.rig.scratch("product")
        refused = self.rig.mount_small_disk(product, "192k")
        if refused:
            self.skipTest("no small disk to fill: " + refused)
        self.addCleanup(self.rig.unmount_disks)
        target = self.install_at(product)
        old = Tree(product)
        installed = old.data("bin/big.dat", bytes(range(256)) * 256)
        new.data("bin/big.dat", b"new data" * 50000)  # 400,000 bytes: more than the disk has left
        self.log_folder()

        self.run_update(exe, FAILURE)

        self.assertEqual(os.path.getsize(old.path("bin/big.dat")), len(installed))
        self.assert_tree(product, old.files)
        self.assertEqual(read_bytes(self.log_path()), failed_line("0.0.0.0", target + "\\bin\\big.dat"))

    def test_a_folder_whose_paths_pass_the_ansi_limit_stops_the_run_and_is_named(self):
        exe, new = self.stage()
        product = self.rig.scratch("product")
        self.install_at(product)
        new.data("A/first.txt", b"copied before the listing fails\n")
        # A payload folder whose own path fits, holding a file whose path does not.
        deep = "B"
        while len(self.rig.windows_path(new.path(deep))) < 220:
            deep += "/" + "d" * min(60, 220 - len(self.rig.windows_path(new.path(deep))))
        new.data(deep + "/" + "f" * 80 + ".txt", b"too deep\n")
        new.data("C/later.txt", b"never reached\n")
        self.log_folder()

        self.run_update(exe, FAILURE)

        self.assertEqual(snapshot(product), {"A/first.txt": b"copied before the listing fails\n"})
        self.assertEqual(read_bytes(self.log_path()),
                         failed_line("0.0.0.0", self.rig.windows_path(new.path(deep)) + "\\"))

    def test_all_installed_copies_newer_without_log_folder_ends_well_and_writes_nothing(self):
        exe, new = self.stage()
        product = self.rig.scratch("product")
        self.install_at(product)
        old = Tree(product)
        new.pe("Pkg/a.dll", "1.0.0.0", "a-new")
        old.pe("Pkg/a.dll", "2.0.0.0", "a-old")
        new.pe("Pkg/sub/b.dll", "3.0.0.0", "b-new")
        old.pe("Pkg/sub/b.dll", "3.0.0.1", "b-old")
        before = dict(old.files)

        self.run_update(exe, SUCCESS)

        self.assert_tree(product, before)
        # The report had lines, but the log folder is never created.
        self.assertEqual(os.listdir(self.rig.documents), [])

    def test_updater_at_a_drive_root_copies_to_a_bare_drive_root(self):
        exe, new = self.stage()
        product = self.rig.scratch("product")
        self.rig.map_drive("e", new.root)
        self.rig.map_drive("d", product)
        self.assertEqual(self.rig.windows_path(exe), "E:\\updater.exe")
        # RootDir "D:\" becomes the target root "D:".
        self.install("D:\\")
        old = Tree(product)
        new.pe("Pkg/bin/a.dll", "2.0.0.0", "a-new")
        old.pe("Pkg/bin/a.dll", "1.0.0.0", "a-old")
        new.pe("Pkg/keep.dll", "1.0.0.0", "keep-new")
        kept = old.pe("Pkg/keep.dll", "5.0.0.0", "keep-old")
        new.data("Top/x.txt", b"x\n")
        self.log_folder()

        self.run_update(exe, SUCCESS)

        expected = dict(old.files)
        expected.update(new.files)
        expected["Pkg/keep.dll"] = kept
        self.assert_tree(product, expected)
        self.assertEqual(read_bytes(self.log_path()), left_alone_line("1.0.0.0", "5.0.0.0", "D:\\Pkg\\keep.dll"))

    def test_updater_at_a_drive_root_copies_below_the_product_folder(self):
        exe, new = self.stage()
        drive = self.rig.scratch("drive")
        self.rig.map_drive("e", new.root)
        self.rig.map_drive("d", drive)
        self.install("D:\\製品\\")
        new.data("Pkg/bin/a.txt", b"a\n")
        new.data("Top/x.txt", b"x\n")
        # Nothing is left alone: the report is empty, an older log stays.
        old_log = b"an older log, to be kept\r\n"
        with open(os.path.join(self.log_folder(), TORVEN_LOG_FILE), "wb") as f:
            f.write(old_log)

        self.run_update(exe, SUCCESS)

        # Not D:\製品Pkg\..., and nothing beside the product folder.
        self.assert_tree(drive, {"製品/Pkg/bin/a.txt": b"a\n", "製品/Top/x.txt": b"x\n"})
        self.assertEqual(read_bytes(self.log_path()), old_log)

    # ---- other programs at work ---------------------------------------------

    def test_two_updaters_started_together_both_end_well_and_every_file_is_whole(self):
        exe, new = self.stage()
        new.many(300, "new")
        # The second starts this much later: a double click, a slow elevation prompt.
        for offset in (0.0, 0.04, 0.08, 0.12):
            with self.subTest(second_run_later_by=offset):
                product = self.rig.scratch("product")
                self.install_at(product)
                Tree(product).many(150, "installed")
                releases = [os.path.join(self.rig.cases, "release-%d" % i) for i in (1, 2)]
                launchers = [self.rig.launch_updater(ARGS, exe, release) for release in releases]
                open(releases[0], "w").close()
                time.sleep(offset)
                open(releases[1], "w").close()
                boxes = [self.rig.tool("box", "--timeout-ms", "120000", timeout=150) for _ in launchers]
                for box, launcher in zip(boxes, launchers):
                    self.assert_final_box(box, self.rig.finish_launch(launcher), SUCCESS)
                self.assert_tree(product, new.files)

    def test_a_program_writing_into_temporary_files_never_gets_its_bytes_installed(self):
        exe, new = self.stage()
        new.many(200, "new", size=60000)
        product = self.rig.scratch("product")
        self.install_at(product)
        old = Tree(product)
        old.many(200, "old", size=60000)
        stop = os.path.join(self.rig.cases, "stop")
        folders = [self.rig.windows_path(os.path.join(product, "Pkg", str(i))) for i in range(4)]
        tamper = self.rig.tool_start("tamper", "--release", self.rig.windows_path(stop), *folders)
        for _ in range(3):
            box, code = self.rig.run_updater_box(ARGS, exe=exe, timeout_ms=60000, exit_timeout=30)
            self.assertIn(box.get("text"), (cp932(SUCCESS[2]), cp932(FAILURE[2])), box)
            for rel, content in snapshot(product).items():
                if not rel.endswith("~upd.tmp"):  # one the program held: never installed
                    self.assertTrue(content in (old.files[rel], new.files[rel]), "bytes of %s" % rel)
        open(stop, "w").close()
        self.assertGreater(self.rig.tool_finish(tamper).number("written"), 0, "it never got at a file")


if __name__ == "__main__":
    run_tests()
