"""What every part of the end-to-end rig and every test file shares: where
things are, the product's registry keys, code page 932 helpers and folder
snapshots. Importing this module changes nothing."""

import os

HERE = os.path.dirname(os.path.abspath(__file__))
E2E_DIR = os.path.dirname(HERE)
SOURCE_ROOT = os.path.dirname(os.path.dirname(E2E_DIR))

LOCALE = "ja_JP.UTF-8"
EXPECTED_CODE_PAGE = 932
SCREEN = "1024x768x24"

# The registry trees the product lines write to; a reset deletes both.
PRODUCT_KEYS = (r"HKLM\SOFTWARE\ORMIKA", r"HKLM\SOFTWARE\VANTRIXZAI")
TORVEN_KEY = "\\SOFTWARE\\ORMIKA\\TORVENZAIMU%s"
VANTRIX_KEY = "\\SOFTWARE\\VANTRIXZAI\\ZAIMU%s"
TORVEN_071 = TORVEN_KEY % "071"

# The copy log of the first product line, under the documents folder.
TORVEN_LOG_FOLDER = "ormika"
TORVEN_LOG_FILE = "TvzCopyErr.Log"

# No Mono/Gecko install prompts, no desktop menu entries. A test that adds
# overrides appends to this text.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"


class RigError(RuntimeError):
    """The rig could not set up what the tests need."""


def cp932(text):
    """A text as the program's code page 932 bytes."""
    return text.encode("cp932")


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def snapshot(root):
    """Every file below root: {relative path with "/": bytes}. A link that
    leads nowhere holds no bytes and is no file."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if not os.path.exists(path):
                continue
            files[os.path.relpath(path, root).replace(os.sep, "/")] = read_bytes(path)
    return files


def env_path(name, default):
    value = os.environ.get(name)
    return os.path.abspath(value) if value else default
