#!/usr/bin/env python3
"""Converts the texts header for compilers that cannot encode literals as code page 932.

    cp932_texts.py INPUT HEADER DUMP INCLUDE

INPUT is the texts header as kept in the sources (UTF-8). HEADER receives the
same header with every non-ASCII character of every string or character
literal written as \\x escapes of its code page 932 bytes, so that any
compiler yields exactly the bytes that g++ -fexec-charset=CP932 yields from
INPUT. The characters are converted by iconv, the converter g++ itself uses.

DUMP receives a C++ program that includes INCLUDE and prints every
`char NAME[]` constant of the header as its qualified name and the hex of all
its bytes (terminating NUL included), one per line. Built once by g++ from
INPUT and once by clang from HEADER, the two outputs must be identical.

Fails when the header holds a literal this tool does not know how to carry
(a prefixed or raw literal) or a literal outside a `char NAME[]` constant,
since such a text would escape the byte-for-byte comparison.
"""

import re
import subprocess
import sys

HEX_DIGITS = set("0123456789abcdefABCDEF")


def to_cp932(text, where):
    """The code page 932 bytes of `text`, as glibc's iconv (and so g++) makes them."""
    result = subprocess.run(["iconv", "-f", "UTF-8", "-t", "CP932"], input=text.encode("utf-8"),
                            capture_output=True, check=False)
    if result.returncode != 0:
        sys.exit(f"cp932_texts: {where}: cannot convert {text!r} to CP932: "
                 f"{result.stderr.decode(errors='replace').strip()}")
    return result.stdout


def escape_literal_body(body, quote, where):
    """The body of a literal with its non-ASCII runs as \\x escapes.

    Escape sequences already in the body are kept as written. A \\x escape
    swallows every hex digit after it, so a literal that would continue with
    a hex digit is closed and reopened (adjacent literals are joined)."""
    out = []
    pos = 0
    pending_hex = False  # the last thing written is a \x escape of ours
    while pos < len(body):
        c = body[pos]
        if c == "\\":
            out.append(body[pos:pos + 2])
            pos += 2
            pending_hex = False
        elif ord(c) < 0x80:
            if pending_hex and c in HEX_DIGITS:
                if quote == "'":
                    sys.exit(f"cp932_texts: {where}: a character literal mixes escapes and hex digits")
                out.append(quote + " " + quote)
            out.append(c)
            pos += 1
            pending_hex = False
        else:
            end = pos
            while end < len(body) and ord(body[end]) >= 0x80:
                end += 1
            out.append("".join(f"\\x{b:02X}" for b in to_cp932(body[pos:end], where)))
            pos = end
            pending_hex = True
    return "".join(out)


def convert(source, path):
    """The converted header, and the qualified names of its char array constants."""
    out = []
    names = []
    literal_starts = []  # where each string literal begins in `source`
    constant_spans = []  # (start, end) of each constant's declarator and initializer
    scopes = []  # the namespace each open brace opened, or None
    pos = 0
    line = 1
    while pos < len(source):
        c = source[pos]
        where = f"{path}:{line}"
        if source.startswith("//", pos):
            end = source.find("\n", pos)
            end = len(source) if end < 0 else end
            out.append(source[pos:end])
            pos = end
        elif source.startswith("/*", pos):
            end = source.find("*/", pos + 2)
            if end < 0:
                sys.exit(f"cp932_texts: {where}: unterminated comment")
            out.append(source[pos:end + 2])
            line += source.count("\n", pos, end + 2)
            pos = end + 2
        elif c in "\"'":
            if pos > 0 and re.match(r"\w", source[pos - 1]):
                sys.exit(f"cp932_texts: {where}: a prefixed or raw literal")
            end = pos + 1
            while end < len(source) and source[end] != c:
                if source[end] == "\n":
                    sys.exit(f"cp932_texts: {where}: unterminated literal")
                end += 2 if source[end] == "\\" else 1
            if end >= len(source):
                sys.exit(f"cp932_texts: {where}: unterminated literal")
            out.append(c + escape_literal_body(source[pos + 1:end], c, where) + c)
            if c == '"':
                literal_starts.append(pos)
            pos = end + 1
        else:
            if c == "{":
                opened = re.search(r"namespace\s+([\w:]+)\s*$", source[:pos])
                scopes.append(opened.group(1) if opened else None)
            elif c == "}":
                if not scopes:
                    sys.exit(f"cp932_texts: {where}: unbalanced braces")
                scopes.pop()
            elif c == "\n":
                line += 1
            elif c == "[" and re.search(r"\bchar\s+(\w+)\s*$", source[:pos]):
                name = re.search(r"\bchar\s+(\w+)\s*$", source[:pos]).group(1)
                if None in scopes:
                    sys.exit(f"cp932_texts: {where}: constant {name} outside namespace scope")
                names.append((("::".join(s for s in scopes) + "::") if scopes else "") + name)
                # Its initializer: the literals up to the closing ";".
                constant_spans.append((pos, source.find(";", pos)))
            out.append(c)
            pos += 1

    # Every string literal must belong to a char array constant, or the
    # comparison would not see it.
    for start in literal_starts:
        if not any(s < start < e for s, e in constant_spans):
            sys.exit(f"cp932_texts: {path}:{source.count(chr(10), 0, start) + 1}: "
                     "a string literal outside a char array constant")
    return "".join(out), names


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    source_path, header_path, dump_path, include = sys.argv[1:]
    with open(source_path, encoding="utf-8") as f:
        source = f.read()
    converted, names = convert(source, source_path)
    if not names:
        sys.exit(f"cp932_texts: {source_path}: no char array constant found")

    with open(header_path, "w", encoding="ascii", newline="\n") as f:
        f.write(f"// Generated from {source_path} by cp932_texts.py: the same texts, each\n"
                "// non-ASCII character written as its code page 932 bytes.\n")
        f.write(converted)

    with open(dump_path, "w", encoding="ascii", newline="\n") as f:
        f.write(f"// Generated by cp932_texts.py: prints every text of {include} as hex bytes.\n"
                "#include <cstdio>\n"
                f'#include "{include}"\n\n'
                "namespace {\n"
                "template <std::size_t N>\n"
                "void Print(const char* name, const char (&text)[N]) {\n"
                '    std::printf("%s", name);\n'
                "    for (std::size_t i = 0; i < N; ++i)\n"
                '        std::printf(" %02X", static_cast<unsigned>(static_cast<unsigned char>(text[i])));\n'
                '    std::printf("\\n");\n'
                "}\n"
                "}  // namespace\n\n"
                "int main() {\n")
        for name in names:
            f.write(f'    Print("{name}", {name});\n')
        f.write("    return 0;\n}\n")


if __name__ == "__main__":
    main()
