"""Seeding the registry of a prefix. Every value is written in the 32-bit
view (/reg:32), where the product records itself and where both builds of
the updater read (the 64-bit one asks for that view explicitly)."""

import sys

from .common import PRODUCT_KEYS, RigError

REG_ATTEMPTS = 3


def hklm(key):
    """"\\SOFTWARE\\..." or "HKLM\\..." as a key path that reg.exe takes."""
    if key.upper().startswith(("HKLM\\", "HKEY_LOCAL_MACHINE\\")):
        return key
    return "HKLM\\" + key.lstrip("\\")


class Registry:
    def __init__(self, prefix):
        self.prefix = prefix

    def add(self, key, name, type_, data):
        """Writes one value in the 32-bit view of HKEY_LOCAL_MACHINE. About once
        in a few hundred starts, the 64-bit Wine loader (which has no preloader
        here) fails to start reg.exe at all ("failed to map the shared user
        data": its fixed address was already taken); writing a value is safe to
        repeat, so it is asked again, and every failure is printed."""
        args = ["reg", "add", hklm(key), "/v", name, "/t", type_, "/d", str(data), "/f", "/reg:32"]
        for attempt in range(1, REG_ATTEMPTS + 1):
            code, output = self.prefix.run_quiet(args)
            if code == 0:
                return
            said = "reg add %r %r failed (%d): %s" % (
                key, name, code, output.decode("cp932", errors="replace").strip())
            print("rig: %s (attempt %d of %d)" % (said, attempt, REG_ATTEMPTS), file=sys.stderr)
        raise RigError(said)

    def delete(self, key):
        """Deletes a key and all below it; a missing key is not an error."""
        self.prefix.run_quiet(["reg", "delete", hklm(key), "/f", "/reg:32"])

    def forget_products(self):
        for key in PRODUCT_KEYS:
            self.delete(key)
