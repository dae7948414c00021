"""Seeding the registry of a prefix. Every value is written in the 32-bit
view (/reg:32), where the product records itself and where both builds of
the updater read (the 64-bit one asks for that view explicitly)."""

from .common import PRODUCT_KEYS, RigError


def hklm(key):
    """"\\SOFTWARE\\..." or "HKLM\\..." as a key path that reg.exe takes."""
    if key.upper().startswith(("HKLM\\", "HKEY_LOCAL_MACHINE\\")):
        return key
    return "HKLM\\" + key.lstrip("\\")


class Registry:
    def __init__(self, prefix):
        self.prefix = prefix

    def add(self, key, name, type_, data):
        """Writes one value in the 32-bit view of HKEY_LOCAL_MACHINE."""
        code = self.prefix.run_quiet(["reg", "add", hklm(key), "/v", name, "/t", type_,
                                      "/d", str(data), "/f", "/reg:32"])
        if code != 0:
            raise RigError("reg add %r %r failed (%d)" % (key, name, code))

    def delete(self, key):
        """Deletes a key and all below it; a missing key is not an error."""
        self.prefix.run_quiet(["reg", "delete", hklm(key), "/f", "/reg:32"])

    def forget_products(self):
        for key in PRODUCT_KEYS:
            self.delete(key)
