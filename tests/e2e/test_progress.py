"""The progress window and the copy phase's final report, run for real under
Wine on Xvfb (1024 x 768, 96 DPI).

While a copy of many files runs, the test tool reads the "TForm1" window of
the updater: size, position, frame, its one "TPanel" and its text, and its
owner (the application's taskbar window). The updater is paused (SIGSTOP)
once the window is seen and the first file has arrived (so it has painted:
the copy starts only after the window's messages ran), until everything is
read and pictured; the copy cannot end half-way whatever the machine's speed,
and the window's state and the screen's pixels stay as they are meanwhile. A screenshot of the window is kept under
the build folder (e2e/artifacts/progress.png) and checked for the painted
line. When the final box is up, the window is gone. With an empty package
name no window shows while the payload is copied, and the final box still
comes."""

import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from rig import TORVEN_071, RigTestCase, cp932, run_tests  # noqa: E402

SCREEN = (1024, 768)
FORM_SIZE = (432, 137)
PANEL_RECT = (8, 24, 8 + 393, 24 + 41)  # in the window's client area
# Standard resizable frame, caption, system menu, minimise and maximise boxes.
FORM_STYLE_BITS = 0x00C00000 | 0x00040000 | 0x00080000 | 0x00020000 | 0x00010000
WS_VISIBLE = 0x10000000
PROGRESS_TEXT = "をコピーしています。しばらくお待ちください。"
SUCCESS_TEXT = "インストールは正常に終了しました。"

# The shell copy costs one to five milliseconds a file under Wine: this many
# small files keep the window up for a second or more, long enough to pause
# the updater while it is seen.
SLOW_PAYLOAD_FILES = 1000
SHORT_PAYLOAD_FILES = 400


def wait_for_any_file(folder, timeout):
    deadline = time.monotonic() + timeout
    while not any(names for _, _, names in os.walk(folder)):
        if time.monotonic() > deadline:
            raise AssertionError("nothing arrived in %s" % folder)
        time.sleep(0.005)


def numbers(value):
    return tuple(int(n) for n in value.split(b","))


def write_payload(root, count):
    """count small files of distinct bytes in nested folders under root/Pkg."""
    files = {}
    for i in range(count):
        rel = "Pkg/d%02d/sub/f%04d.dat" % (i // 100, i)
        path = os.path.join(root, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        content = (b"%06d " % i) * (64 + i % 200)
        with open(path, "wb") as f:
            f.write(content)
        files[rel] = content
    return files


class Picture:
    """An RGB picture read through ImageMagick."""

    def __init__(self, path, width, height):
        self.width, self.height = width, height
        self.bytes = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], stdout=subprocess.PIPE,
                                    check=True, timeout=60).stdout
        if len(self.bytes) != width * height * 3:
            raise AssertionError("%s is not %d x %d" % (path, width, height))

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.bytes[i:i + 3])


class ProgressTest(RigTestCase):
    def setUp(self):
        self.rig.reset()
        self.stage = self.rig.scratch("stage")
        # Its taskbar label is the file name up to the first ".", the rest lower case.
        self.exe = self.rig.stage_updater(self.stage, "UPDATER.EXE")
        self.product = self.rig.scratch("product")
        self.rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", self.rig.windows_path(self.product) + "\\")
        self.rig.reg_add(TORVEN_071, "Version", "REG_SZ", "7.1.0.1")

    def assert_copied(self, files):
        for rel, content in files.items():
            with open(os.path.join(self.product, *rel.split("/")), "rb") as f:
                self.assertEqual(f.read(), content, rel)

    def assert_final_box(self, proc):
        box = self.rig.tool("box", "--timeout-ms", "60000")
        self.assertEqual(box.get("found"), b"1", box)
        self.assertEqual(box["title"], cp932("情報"), box)
        self.assertEqual(box["text"], cp932(SUCCESS_TEXT), box)
        self.assertEqual(box.number("closed"), 1, box)
        self.assertEqual(self.rig.wait_exit(proc, 30), 0)

    def screenshot(self, rect):
        """The screen now, and the window's part of it, kept as artifacts."""
        screen = self.rig.screenshot(os.path.join(self.rig.artifacts, "progress-screen.png"))
        left, top, right, bottom = rect
        window = os.path.join(self.rig.artifacts, "progress.png")
        subprocess.run(["convert", screen, "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                        "+repage", window], check=True, timeout=60)
        return Picture(window, right - left, bottom - top)

    def assert_painted_line(self, picture, window_rect, client_origin):
        """The panel shows one centred line of dark text on the window's own
        colour, with no bevel or border around it."""
        ox, oy = client_origin[0] - window_rect[0], client_origin[1] - window_rect[1]
        left, top, right, bottom = (PANEL_RECT[0] + ox, PANEL_RECT[1] + oy, PANEL_RECT[2] + ox, PANEL_RECT[3] + oy)
        face = picture.pixel(ox + 2, oy + 2)  # the window's client area, outside the panel
        edges = [(x, y) for x in range(left, right) for y in (top, bottom - 1)]
        edges += [(x, y) for y in range(top, bottom) for x in (left, right - 1)]
        self.assertEqual({picture.pixel(x, y) for x, y in edges}, {face}, "panel edges differ from the window")
        dark = [(x, y) for y in range(top, bottom) for x in range(left, right) if max(picture.pixel(x, y)) < 100]
        self.assertGreater(len(dark), 200, "no text painted in the panel")
        xs = [x for x, _ in dark]
        ys = [y for _, y in dark]
        # Ink, not layout: a full stop's ink sits in the left of its cell.
        self.assertLessEqual(abs((min(xs) + max(xs)) / 2 - (left + right - 1) / 2), 6, "not centred across")
        self.assertLessEqual(abs((min(ys) + max(ys)) / 2 - (top + bottom - 1) / 2), 3, "not centred down")
        self.assertLess(max(ys) - min(ys), 16, "more than one line")

    # ---- cases --------------------------------------------------------------

    def test_window_shows_the_package_line_while_copying_and_is_gone_at_the_final_box(self):
        files = write_payload(self.stage, SLOW_PAYLOAD_FILES)
        proc = self.rig.start_updater(["/TORVEN", "7.1.0.12", "Pkg"], exe=self.exe)

        seen = self.rig.tool("progress", "--timeout-ms", "20000")
        self.assertEqual(seen.get("found"), b"1", seen)
        wait_for_any_file(self.product, 20)
        os.kill(proc.pid, signal.SIGSTOP)
        try:
            # Read again while nothing can change: the copy is still under way.
            form = self.rig.tool("progress", "--timeout-ms", "0")
            self.assertEqual(form.get("found"), b"1", "the copy ended before the pause: %r" % (form,))
            shot = self.screenshot(numbers(form["rect"]))
        finally:
            os.kill(proc.pid, signal.SIGCONT)

        self.assertEqual(form.text("process"), "UPDATER.EXE")
        self.assertEqual(form["title"], b"")
        left, top, right, bottom = numbers(form["rect"])
        self.assertEqual((right - left, bottom - top), FORM_SIZE, form)
        self.assertEqual(numbers(form["screen"]), SCREEN, form)
        self.assertLessEqual(abs(left - (SCREEN[0] - FORM_SIZE[0]) / 2), 1, form)
        self.assertLessEqual(abs(top - (SCREEN[1] - FORM_SIZE[1]) / 2), 1, form)
        style = int(form["style"], 16)
        self.assertEqual(style & FORM_STYLE_BITS, FORM_STYLE_BITS, form)
        self.assertTrue(style & WS_VISIBLE, form)
        self.assertEqual(form.number("children"), 1, form)
        self.assertEqual(form["child1_class"], b"TPanel", form)
        self.assertEqual(numbers(form["child1_rect"]), PANEL_RECT, form)
        self.assertEqual(form["panel_text"], cp932("Pkg" + PROGRESS_TEXT), form)
        self.assertEqual(form["owner_title"], b"Updater", form)
        self.assertEqual(form.number("owner_visible"), 1, form)
        self.assertEqual(form.number("owner_same_process"), 1, form)

        # The frame's width: where the client area starts on the screen.
        client_width = numbers(form["client"])[2]
        border = (FORM_SIZE[0] - client_width) // 2
        client_top = bottom - border - numbers(form["client"])[3]
        self.assert_painted_line(shot, (left, top), (left + border, client_top))

        gone = self.rig.tool("gone", "TForm1", "--timeout-ms", "20000")
        self.assertEqual(gone.number("gone"), 1, gone)
        box = self.rig.tool("box", "--no-press", "--timeout-ms", "60000")
        self.assertEqual(box.get("found"), b"1", box)
        windows = self.rig.tool("windows", "--all", "--exe", "UPDATER.EXE")
        classes = [v for k, v in windows.values.items() if k.endswith("_class")]
        self.assertIn(b"#32770", classes, windows)
        self.assertNotIn(b"TForm1", classes, windows)
        self.assert_final_box(proc)
        self.assert_copied(files)

    def test_empty_package_name_shows_no_window_but_the_final_box(self):
        files = write_payload(self.stage, SHORT_PAYLOAD_FILES)
        # Watches for any visible window of the updater from before it starts.
        watch = self.rig.tool_start("nowindow", "--ms", "60000", "--exe", "UPDATER.EXE")
        proc = self.rig.start_updater(["/TORVEN", "7.1.0.12", ""], exe=self.exe)
        seen = self.rig.tool_finish(watch, timeout=90)
        # The first window of the updater that showed is the final box (or the
        # taskbar window that comes with it), after the whole copy.
        self.assertEqual(seen.number("nowindow"), 0, seen)
        self.assertIn(seen["window_class"], (b"#32770", b"UpdaterApplication"), seen)
        self.assert_copied(files)
        self.assert_final_box(proc)


if __name__ == "__main__":
    run_tests()
