"""python3 -m rig setup   makes the prefix of the build under test (E2E_BUILD)
python3 -m rig probe   prints the probe's headline, then the builds this
                       machine runs the whole suite against, one a line"""
import sys

from .core import setup_main
from .machine import main as probe_main

COMMANDS = {"setup": setup_main, "probe": probe_main}

if len(sys.argv) != 2 or sys.argv[1] not in COMMANDS:
    print("usage: python3 -m rig setup|probe", file=sys.stderr)
    sys.exit(2)
sys.exit(COMMANDS[sys.argv[1]]())
