"""A fleet of machines updated at once, unattended, as a deployment tool
updates an office: each machine a Wine prefix of its own with its own
server and no display, each in another state, every updater started
quiet at the same moment through a Windows launcher that reads its whole
exit code. Each machine's exit code, log and product folder are checked,
and that no updater ever tried to make a window (Wine names each attempt
when it has no display)."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import Tree  # noqa: E402
from rig import TORVEN_071, cp932, read_bytes, run_tests  # noqa: E402
from rig.fleet import Machine  # noqa: E402
from update_case import ARGS, UpdateTestCase, failed_line  # noqa: E402

# Wine's words for a window that a program without a display tried to make.
WINDOW_ATTEMPT = b"nodrv_CreateWindow"
SHOW_WINDOW_ATTEMPTS = {"WINEDEBUG": "-all,err+winediag"}


def free_bytes(path):
    stat = os.statvfs(path)
    return stat.f_bavail * stat.f_frsize


class FleetTest(UpdateTestCase):
    def test_a_fleet_updated_at_once_ends_on_each_machine_as_its_state_says(self):
        exe, new = self.stage()
        new.pe("bin/core.dll", "13.1.2.80", "core-new")
        new.many("Pkg", 40, 50000, "new")
        made = time.monotonic()
        free = free_bytes(self.rig.work)
        machines = {}
        for name in ("older", "missing", "newer", "in-use", "twice"):
            machines[name] = Machine(self.rig, name)
            self.addCleanup(machines[name].close)
            machines[name].start()
        made = time.monotonic() - made
        disk = free - free_bytes(self.rig.work)

        products, logs, targets = {}, {}, {}
        for name, machine in machines.items():
            products[name] = Tree(self.rig.scratch("product-" + name))
            logs[name] = os.path.join(self.rig.scratch("logs-" + name), "update.log")
            targets[name] = self.rig.windows_path(products[name].root)
            if name != "missing":
                version = "7.1.0.13" if name == "newer" else "7.1.0.1"
                machine.registry.add(TORVEN_071, "RootDir", "REG_SZ", targets[name] + "\\")
                machine.registry.add(TORVEN_071, "Version", "REG_SZ", version)
            products[name].many("Pkg", 20, 50000, "installed")
        products["older"].pe("bin/core.dll", "13.1.2.90", "core-installed")
        installed = {name: dict(tree.files) for name, tree in products.items()}

        release = os.path.join(self.rig.cases, "release")
        held = products["in-use"].path("Pkg/0/f000.bin")
        holder = self.rig.tool_start("hold", self.rig.windows_path(held), "--release",
                                     self.rig.windows_path(release + "-hold"),
                                     prefix=machines["in-use"].prefix)
        launchers = []
        for name, machine in machines.items():
            args = ARGS + ["/QUIET", "/LOG=" + self.rig.windows_path(logs[name])]
            for _ in range(2 if name == "twice" else 1):
                launchers.append((name, self.rig.launch_updater(args, exe, release, prefix=machine.prefix,
                                                                env_extra=SHOW_WINDOW_ATTEMPTS)))
        ran = time.monotonic()
        open(release, "w").close()
        codes = {}
        for name, launcher in launchers:
            codes.setdefault(name, []).append(self.rig.finish_launch(launcher))
            self.assertNotIn(WINDOW_ATTEMPT, launcher.stderr, "an updater of %s tried to make a window" % name)
        ran = time.monotonic() - ran
        open(release + "-hold", "w").close()
        self.rig.tool_finish(holder)
        print("fleet: %d machines made in %.1f s (%.0f MB of disk), their updates ran in %.1f s"
              % (len(machines), made, disk / 1e6, ran), file=sys.stderr)

        whole = dict(new.files)
        self.assertEqual(codes["older"], [0])
        self.assert_tree(products["older"].root, dict(installed["older"], **dict(whole, **{
            "bin/core.dll": installed["older"]["bin/core.dll"]})))
        self.assertEqual(read_bytes(logs["older"]), cp932("New[13.1.2.80] Org[13.1.2.90] FILE[%s\\bin\\core.dll]\r\n"
                                                          % targets["older"]))
        self.assertEqual(codes["missing"], [1605])
        self.assertEqual(codes["newer"], [1638])
        for name in ("missing", "newer"):
            self.assert_tree(products[name].root, installed[name])
            self.assertFalse(os.path.exists(logs[name]), "%s wrote a log" % name)
        self.assertEqual(codes["in-use"], [1603])
        self.assertEqual(read_bytes(logs["in-use"]), failed_line("0.0.0.0", targets["in-use"] + "\\Pkg\\0\\f000.bin"))
        self.assert_tree(products["in-use"].root, dict(installed["in-use"], **{"bin/core.dll": whole["bin/core.dll"]}))
        self.assertEqual(sorted(codes["twice"]), [0, 1618])
        self.assert_tree(products["twice"].root, dict(installed["twice"], **whole))
        for name, machine in machines.items():
            self.assertEqual(os.listdir(machine.documents), [], "%s wrote into its documents folder" % name)


if __name__ == "__main__":
    run_tests()
