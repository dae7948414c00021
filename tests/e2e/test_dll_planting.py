"""DLLs planted beside the updater must never be loaded: the updater runs
elevated, often from a downloads folder that anyone can drop a DLL into.

The planted DLL appends a line to a marker file whenever a process loads it.
Wine prefers its own built-in DLLs, so the runs here force native-first
loading of the planted name; a program that searched its own folder would
then load the planted copy.

What is planted, and why only that (measured under Wine 8):
- crypt32.dll: the updater loads it itself, at run time, to read its own
  signature; the control program loads it with a plain LoadLibraryA.
- uxtheme.dll: user32 loads it when the first window is made, through the
  ordinary search, so a program that did not restrict the search to the
  system folder loads a planted copy (the control case). On Windows too it is
  not one of the DLLs always taken from the system folder.
- Not version.dll: Wine's own user32.dll imports it, so under "version=n,b"
  every windowed program loads a planted version.dll while it starts, before
  its first line runs. The updater's import table is checked instead: it must
  import only DLLs that Windows always maps from its system folder.
- Not ole32.dll or rpcrt4.dll: Wine's shell32 delay-loads ole32 for the
  file copy and ignores the restricted search there, loading a planted copy
  even into a careful program. On Windows both are always taken from the
  system folder.
"""

import os
import shutil
import sys

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from rig import DLL_OVERRIDES, TORVEN_071 as PRODUCT_KEY, RigTestCase, run_tests  # noqa: E402

PAYLOAD_BYTES = b"payload file without a version resource\r\n"

# Loaded while the updater runs: uxtheme once it shows a window, crypt32 by
# the updater itself (at run time, for its own signature) on every run.
PLANTED = ("crypt32", "uxtheme")

# DLLs that Windows always maps from its system folder (the KnownDLLs list),
# so that importing them can never pick up a planted copy.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
    "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll",
    "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "wldap32.dll", "ws2_32.dll",
}


def pe_imports(path):
    """Names of the DLLs a PE file (32- or 64-bit) imports, ordinary and delay-loaded."""
    pe = pefile.PE(path, fast_load=True)
    try:
        pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]])
        entries = (getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
                   + getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []))
        return [entry.dll.decode("ascii") for entry in entries]
    finally:
        pe.close()


class DllPlantingTest(RigTestCase):
    def setUp(self):
        rig = self.rig
        rig.reset()
        self.assertTrue(os.path.isfile(rig.planted_dll), rig.planted_dll)
        self.marker = os.path.join(rig.scratch("marker"), "loaded.txt")
        self.env = {
            "WINEDLLOVERRIDES": DLL_OVERRIDES + ";" + ",".join(PLANTED) + "=n,b",
            "E2E_PLANT_MARKER": self.rig.windows_path(self.marker),
        }

    def plant(self, folder):
        for name in PLANTED:
            shutil.copyfile(self.rig.planted_dll, os.path.join(folder, name + ".dll"))

    def loads(self):
        """The marker's lines: (planted DLL's file name, static/dynamic, process)."""
        if not os.path.exists(self.marker):
            return []
        with open(self.marker, "rb") as f:
            lines = f.read().decode("cp932").splitlines()
        return [tuple(line.split("|")) for line in lines if line]

    def loaded_names(self):
        return sorted({dll.rsplit("\\", 1)[-1].lower() for dll, _, _ in self.loads()})

    def test_control_program_loads_the_planted_dlls(self):
        folder = self.rig.scratch("probe")
        probe = os.path.join(folder, "plantprobe.exe")
        shutil.copyfile(self.rig.plant_probe, probe)
        self.plant(folder)
        proc = self.rig.start_program(probe, env_extra=self.env)
        self.assertEqual(self.rig.wait_exit(proc), 0, proc.stderr[-2000:])
        self.assertIn(b"window=1", proc.stdout)
        self.assertEqual(self.loaded_names(), sorted(name + ".dll" for name in PLANTED))
        for _, how, process in self.loads():
            self.assertEqual(how, "dynamic")
            self.assertTrue(process.lower().endswith("\\plantprobe.exe"), process)

    def test_dlls_planted_beside_the_updater_are_not_loaded(self):
        stage = self.rig.scratch("stage")
        exe = self.rig.stage_updater(stage)
        self.plant(stage)
        os.makedirs(os.path.join(stage, "bin"))
        with open(os.path.join(stage, "bin", "readme.txt"), "wb") as f:
            f.write(PAYLOAD_BYTES)
        product = self.rig.scratch("product")
        self.rig.reg_add(PRODUCT_KEY, "RootDir", "REG_SZ", self.rig.windows_path(product) + "\\")
        self.rig.reg_add(PRODUCT_KEY, "Version", "REG_SZ", "7.1.0.9")

        box, code = self.rig.run_updater_box(["/TORVEN", "7.1.0.12", "Pkg"], exe=exe,
                                             env_extra=self.env)
        self.assertEqual(box.get("found"), b"1", box)
        self.assertEqual(box.text("text"), "インストールは正常に終了しました。", box)
        self.assertEqual(code, 0)
        self.assertEqual(self.loads(), [])
        # Windows were shown and the payload was copied: the DLL planted was
        # needed, and came from the system folder.
        with open(os.path.join(product, "bin", "readme.txt"), "rb") as f:
            self.assertEqual(f.read(), PAYLOAD_BYTES)

    def test_updater_imports_only_dlls_windows_maps_from_its_system_folder(self):
        imports = [name.lower() for name in pe_imports(self.rig.updater)]
        self.assertIn("kernel32.dll", imports)
        self.assertNotIn("version.dll", imports)
        self.assertEqual([name for name in imports if name not in KNOWN_DLLS], [])

    def test_import_check_sees_a_version_dll_import(self):
        # The control of the check above: the probe imports version.dll.
        self.assertIn("version.dll", [name.lower() for name in pe_imports(self.rig.plant_probe)])


if __name__ == "__main__":
    run_tests()
