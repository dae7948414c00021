"""More Windows machines beside the rig's own, for tests of many machines
updated at once: each a Wine prefix of its own with its own wineserver,
HOME, documents folder and registry, and no display at all (a deployment
tool runs the updater where nobody is at the screen). Importing this module
changes nothing.

A machine's prefix is made from the rig's in about a second: its files are
hard links to the rig's, except the registry files, which are copied (the
server writes them anew by renaming, but a copy keeps each machine's
registry its own whatever Wine does). The programs are started by the rig
(Rig.start_program with `prefix=machine.prefix`), which ends them by their
ids."""

import glob
import os
import shutil
import subprocess

from .common import RigError
from .prefix import WinePrefix
from .registry import Registry


class Machine:
    def __init__(self, rig, name):
        self.rig = rig
        self.name = name
        self.work = os.path.join(rig.work, "fleet", name)
        self.prefix = WinePrefix(self.work, rig.target.wine)
        self.registry = Registry(self.prefix)

    @property
    def documents(self):
        return self.prefix.documents

    def start(self):
        """Makes the prefix from the rig's, starts its server and forgets any
        product the rig's prefix had registered."""
        self.close()
        os.makedirs(self.work)
        done = subprocess.run(["cp", "-al", self.rig.prefix, self.prefix.path], capture_output=True, timeout=120)
        if done.returncode != 0:
            raise RigError("cp -al %s: %s" % (self.rig.prefix, done.stderr.decode(errors="replace")))
        for registry in glob.glob(os.path.join(self.prefix.path, "*.reg")):
            copy = registry + ".copy"
            shutil.copy2(registry, copy)
            os.replace(copy, registry)
        os.symlink(self.rig.wine_prefix.locale_dir, self.prefix.locale_dir)
        os.makedirs(self.prefix.home)
        shutil.copy(os.path.join(self.rig.work, "prefix.ready"), self.work)
        self.prefix.ensure()  # finds the prefix made and set up: nothing is run
        # A private documents folder of its own, empty.
        shutil.rmtree(self.documents)
        os.makedirs(self.documents)
        self.prefix.start_server()
        self.registry.forget_products()

    def close(self):
        """Stops the machine's server and removes the machine."""
        if os.path.isdir(self.prefix.path):
            self.prefix.server_started = True
            self.prefix.stop_server()
        shutil.rmtree(self.work, ignore_errors=True)
