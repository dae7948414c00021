"""The protocol of e2etool.exe, the test tool: it prints "key=value" lines
whose values are code page 932 bytes with \\\\, \\r, \\n and \\xNN escaped.
Its commands and keys are listed at the top of tool/e2etool.cpp."""


def unescape(value):
    """Undoes the tool's escaping, byte by byte."""
    out = bytearray()
    i = 0
    while i < len(value):
        byte = value[i]
        if byte == 0x5C and i + 1 < len(value):
            code = value[i + 1]
            if code == ord("r"):
                out.append(13)
                i += 2
                continue
            if code == ord("n"):
                out.append(10)
                i += 2
                continue
            if code == ord("x") and i + 3 < len(value):
                out.append(int(value[i + 2:i + 4], 16))
                i += 4
                continue
            out.append(code)
            i += 2
            continue
        out.append(byte)
        i += 1
    return bytes(out)


class ToolOutput:
    """What e2etool.exe printed: out["key"] -> raw CP932 bytes, out.text("key")
    -> str, out.number("key") -> int, "key" in out, out.returncode, out.raw."""

    def __init__(self, raw, returncode, args=()):
        self.raw = raw
        self.returncode = returncode
        self.args = tuple(args)
        self.values = {}
        for line in raw.split(b"\n"):
            line = line.rstrip(b"\r")
            if b"=" not in line:
                continue
            key, _, value = line.partition(b"=")
            self.values[key.decode("ascii", "replace")] = unescape(value)

    def __getitem__(self, key):
        return self.values[key]

    def __contains__(self, key):
        return key in self.values

    def get(self, key, default=None):
        return self.values.get(key, default)

    def text(self, key):
        """The value decoded from code page 932."""
        return self.values[key].decode("cp932")

    def number(self, key):
        return int(self.values[key])

    def __repr__(self):
        shown = {k: v.decode("cp932", "replace") for k, v in self.values.items()}
        return "ToolOutput(%r, rc=%r, %r)" % (self.args, self.returncode, shown)
