"""More Windows machines beside the rig's own, for tests that update many
machines at once: each a Wine prefix with its own wineserver, HOME,
documents folder and registry, and no display at all, as where a deployment
tool runs the updater with nobody at the screen. Without a display Wine
names every window a program tries to make ("nodrv_CreateWindow", an error
of its winediag channel, which a machine's programs print). Importing this
module changes nothing.

A machine's prefix is made from the rig's in about a second: its files are
hard links to the rig's, but for the registry files, which are copied. The
rig starts its programs (`prefix=machine.prefix`) and ends them by their ids."""

import glob
import os
import shutil
import subprocess

from .prefix import WinePrefix
from .registry import Registry

WINDOW_ATTEMPT = b"nodrv_CreateWindow"


class Machine:
    def __init__(self, rig, name):
        self.rig = rig
        self.work = os.path.join(rig.work, "fleet", name)
        self.prefix = WinePrefix(self.work, rig.target.wine, {"WINEDEBUG": "-all,err+winediag"})
        self.registry = Registry(self.prefix)

    def start(self):
        """Makes the prefix, starts its server, forgets any product the rig's
        prefix had registered; the documents folder is empty."""
        self.close()
        os.makedirs(self.prefix.home)
        subprocess.run(["cp", "-al", self.rig.prefix, self.prefix.path], check=True, timeout=120)
        for registry in glob.glob(os.path.join(self.prefix.path, "*.reg")):
            shutil.copy2(registry, registry + ".copy")
            os.replace(registry + ".copy", registry)
        os.symlink(self.rig.wine_prefix.locale_dir, self.prefix.locale_dir)
        shutil.copy(os.path.join(self.rig.work, "prefix.ready"), self.work)
        self.prefix.ensure()  # finds the prefix made and set up: runs nothing
        shutil.rmtree(self.prefix.documents)
        os.makedirs(self.prefix.documents)
        self.prefix.start_server()
        self.registry.forget_products()

    def close(self):
        if os.path.isdir(self.prefix.path):
            self.prefix.server("-k", check=False)
        shutil.rmtree(self.work, ignore_errors=True)
