"""A fleet of machines updated at once, unattended, as a deployment tool
updates an office: each machine a Wine prefix of its own with its own
server and no display, each in another state, every updater started with
/QUIET at the same moment through a Windows launcher that reads its whole
exit code. Checked on each machine: the exit codes, the log that /LOG= names
(relative to the folder the run starts in), the product folder, an empty
documents folder, and that no updater tried to make a window."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from rig import TORVEN_071, RigTestCase, cp932, read_bytes, run_tests, snapshot  # noqa: E402
from rig.fleet import WINDOW_ATTEMPT, Machine  # noqa: E402
from test_copy import Tree, failed_line  # noqa: E402

QUIET = ["/TORVEN", "7.1.0.12", "Pkg", "/QUIET"]

# Each machine: its installed version (None: not installed), the command
# lines started on it at once (each gets its /LOG= unless it has five
# arguments already), and the exit codes expected of them.
FLEET = {
    "older": ("7.1.0.1", [["/torven", "7.1.0.12", "", "/quiet"]], [0]),
    "missing": (None, [QUIET], [1605]),
    "newer": ("7.1.0.13", [QUIET], [1638]),
    "in-use": ("7.1.0.1", [QUIET], [1603]),  # an installed file held open by the product
    "twice": ("7.1.0.1", [QUIET, QUIET], [0, 1618]),
    "mistyped": ("7.1.0.1", [["/TORVEN", "9.9.0.1", "Pkg", "/QUIET"], QUIET + ["/NORESTART"],
                             ["/OTHER", "7.1.0.12", "Pkg", "/QUIET"], QUIET + ["/LOG=C:\\update.log"]],
                 [87, 87, 87, 87]),
    "broken": ("REG_DWORD", [QUIET], [1]),  # RootDir of the wrong type: the application error
}


class FleetTest(RigTestCase):
    def test_a_fleet_updated_at_once_ends_on_each_machine_as_its_state_says(self):
        self.rig.reset()
        stage = self.rig.scratch("stage")
        exe, new = self.rig.stage_updater(stage), Tree(stage)
        new.pe("bin/core.dll", "13.1.2.80", "core-new")
        new.many(120, "new", size=50000)  # long enough a copy for two runs to meet
        machines, products, release = {}, {}, os.path.join(self.rig.cases, "release")
        for name, (version, _, _) in FLEET.items():
            machines[name] = machine = Machine(self.rig, name)
            self.addCleanup(machine.close)
            machine.start()
            products[name] = Tree(self.rig.scratch("product-" + name))
            products[name].many(20, "installed", size=50000)
            os.makedirs(os.path.join(self.rig.cases, "logs-" + name))
            if version == "REG_DWORD":
                machine.registry.add(TORVEN_071, "RootDir", "REG_DWORD", "1")
            elif version:
                machine.registry.add(TORVEN_071, "RootDir", "REG_SZ", self.target(products[name], ""))
                machine.registry.add(TORVEN_071, "Version", "REG_SZ", version)
        products["older"].pe("bin/core.dll", "13.1.2.90", "core-installed")
        installed = {name: dict(tree.files) for name, tree in products.items()}
        self.rig.tool_start("hold", self.target(products["in-use"], "Pkg\\0\\f000.bin"), "--release",
                            self.rig.windows_path(release + "-never"), prefix=machines["in-use"].prefix)
        launchers = [(name, self.rig.launch_updater(args + ["/LOG=logs-%s\\update.log" % name] * (len(args) < 5),
                                                    exe, release, prefix=machines[name].prefix))
                     for name, (_, command_lines, _) in FLEET.items() for args in command_lines]
        open(release, "w").close()
        codes = {name: [] for name in FLEET}
        for name, launcher in launchers:
            codes[name].append(self.rig.finish_launch(launcher))
            self.assertNotIn(WINDOW_ATTEMPT, launcher.stderr, "an updater of %s tried to make a window" % name)

        trees = {"older": dict(new.files, **{"bin/core.dll": installed["older"]["bin/core.dll"]}),
                 "in-use": {"bin/core.dll": new.files["bin/core.dll"]}, "twice": new.files}
        logs = {"older": cp932("New[13.1.2.80] Org[13.1.2.90] FILE[%s]\r\n"
                               % self.target(products["older"], "bin\\core.dll")),
                "in-use": failed_line("0.0.0.0", self.target(products["in-use"], "Pkg\\0\\f000.bin"))}
        for name, (_, _, expected_codes) in FLEET.items():
            with self.subTest(machine=name):
                self.assertEqual(sorted(codes[name]), expected_codes)
                self.assertEqual(snapshot(products[name].root), dict(installed[name], **trees.get(name, {})))
                log = os.path.join(self.rig.cases, "logs-" + name, "update.log")
                self.assertEqual(read_bytes(log) if os.path.exists(log) else None, logs.get(name))
                self.assertEqual(os.listdir(machines[name].prefix.documents), [])

    def target(self, tree, rel):
        """The Windows path of `rel` in the product folder `tree` ("": the folder, with its "\\")."""
        return self.rig.windows_path(tree.root) + "\\" + rel

if __name__ == "__main__":
    run_tests()
