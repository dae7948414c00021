"""A signed updater copies only the files its signer staged.

update-kit stage --sign (the native build's) signs a copy of the build's
updater.exe and the manifest of its payload with a throwaway certificate
made here by openssl (the key lives only in the PKCS#12 file, in a folder
removed at the end). The signed update installs as an unsigned one does;
changed in any way after staging, it copies nothing, ends with the
copy-failed box and logs the first file that failed (or the manifest).
An unsigned updater reads no manifest at all."""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import place_pe  # noqa: E402
from rig import (TORVEN_071, TORVEN_LOG_FILE, TORVEN_LOG_FOLDER, RigTestCase, cp932,  # noqa: E402
                 read_bytes, run_tests, snapshot)

ARGS = ["/TORVEN", "7.1.0.12", "署名付き"]
SUCCESS = ("情報", "information", "インストールは正常に終了しました。")
FAILURE = ("エラー", "error", "ファイルのコピーに失敗しました。")
PASSWORD = "throwaway"
UPDATE_KIT = os.environ.get("E2E_UPDATE_KIT", os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "native", "src", "kit", "update-kit"))
RATES = cp932("税率,10\r\n")


def make_certificate(folder, name):
    """A self-signed code-signing certificate in folder -> (p12, pem); the key
    is kept only inside the PKCS#12 file."""
    key, pem, p12 = (os.path.join(folder, name + ext) for ext in (".key", ".pem", ".p12"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=ORMIKA e2e " + name, "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", key, "-out", pem], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", pem, "-out", p12,
                    "-passout", "pass:" + PASSWORD], check=True, capture_output=True)
    os.remove(key)
    return p12, pem


def sign_detached(p12, content, out):
    """Signs the file content into out (detached CMS, DER) with the PKCS#12 file's key."""
    with tempfile.TemporaryDirectory() as folder:
        both = os.path.join(folder, "signer.pem")
        subprocess.run(["openssl", "pkcs12", "-in", p12, "-nodes", "-passin", "pass:" + PASSWORD,
                        "-out", both], check=True, capture_output=True)
        subprocess.run(["openssl", "cms", "-sign", "-binary", "-outform", "DER", "-noattr", "-in", content,
                        "-signer", both, "-inkey", both, "-out", out], check=True, capture_output=True)


class SignedUpdaterTest(RigTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.keys = tempfile.mkdtemp(prefix="e2e-signing-", dir=cls.rig.work)
        cls.addClassCleanup(shutil.rmtree, cls.keys, True)
        cls.p12, cls.pem = make_certificate(cls.keys, "signer")
        cls.other_p12, _ = make_certificate(cls.keys, "stranger")

    def setUp(self):
        self.rig.reset()
        os.makedirs(os.path.join(self.rig.documents, TORVEN_LOG_FOLDER))
        self.product = self.rig.scratch("signed-product")
        place_pe(os.path.join(self.product, "bin", "ledger.dll"), "13.9.0.4", "signed-old")
        self.installed = snapshot(self.product)
        self.rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", self.rig.windows_path(self.product) + "\\")
        self.rig.reg_add(TORVEN_071, "Version", "REG_SZ", "7.1.0.9")

    def staged(self, sign=True):
        """A payload staged by update-kit (signed by default) -> (folder, new ledger.dll's bytes)."""
        payload = self.rig.scratch("payload")
        new_dll = place_pe(os.path.join(payload, "bin", "ledger.dll"), "13.10.0.1", "signed-new")
        os.makedirs(os.path.join(payload, "data"))
        with open(os.path.join(payload, "data", "rates.csv"), "wb") as f:
            f.write(RATES)
        out = self.rig.scratch("update")
        command = [UPDATE_KIT, "stage", "--updater", self.rig.updater, "--payload", payload, "--out", out]
        if sign:
            command += ["--sign", self.p12, "--ca-file", self.pem]
        staged = subprocess.run(command, capture_output=True, env=dict(os.environ, UPDATE_KIT_SIGN_PASSWORD=PASSWORD))
        self.assertEqual(staged.returncode, 0, staged.stdout + staged.stderr)
        return out, new_dll

    def run_update(self, folder, expected):
        title, icon, text = expected
        box, code = self.rig.run_updater_box(ARGS, exe=os.path.join(folder, "updater.exe"), timeout_ms=60000,
                                             exit_timeout=30)
        self.assertEqual(box.get("found"), b"1", "no final box: %r" % (box,))
        self.assertEqual((box["title"], box.text("icon"), box["text"]), (cp932(title), icon, cp932(text)), box)
        self.assertEqual(code, 0)

    def log(self):
        path = os.path.join(self.rig.documents, TORVEN_LOG_FOLDER, TORVEN_LOG_FILE)
        return read_bytes(path) if os.path.exists(path) else None

    def assert_refused(self, folder, named):
        """The run copies nothing and logs `named` (below the update folder)."""
        self.run_update(folder, FAILURE)
        self.assertEqual(snapshot(self.product), self.installed)
        windows = self.rig.windows_path(os.path.join(folder, *named.split("/")))
        self.assertEqual(self.log(), cp932("New[0.0.0.0]  FILE[%s]\r\n" % windows))

    # ---- cases --------------------------------------------------------------

    def test_a_signed_update_installs_as_an_unsigned_one_does(self):
        folder, new_dll = self.staged()
        exe = os.path.join(folder, "updater.exe")
        verify = subprocess.run(["osslsigncode", "verify", "-in", exe, "-CAfile", self.pem], capture_output=True)
        self.assertIn(b"Signature verification: ok", verify.stdout)
        self.assertNotEqual(read_bytes(exe), read_bytes(self.rig.updater))
        self.assertTrue(os.path.isfile(os.path.join(folder, "update-manifest.json.p7s")))

        self.run_update(folder, SUCCESS)
        self.assertEqual(snapshot(self.product), {"bin/ledger.dll": new_dll, "data/rates.csv": RATES})
        self.assertIsNone(self.log())

    def test_an_extra_dll_in_a_sub_folder_is_refused(self):
        folder, _ = self.staged()
        place_pe(os.path.join(folder, "bin", "zz_extra.dll"), "1.0.0.0", "stranger")
        self.assert_refused(folder, "bin/zz_extra.dll")

    def test_a_payload_file_changed_by_one_byte_is_refused(self):
        folder, _ = self.staged()
        path = os.path.join(folder, "data", "rates.csv")
        with open(path, "r+b") as f:
            f.write(b"X")
        self.assert_refused(folder, "data/rates.csv")

    def test_an_edited_manifest_is_refused(self):
        folder, _ = self.staged()
        manifest = os.path.join(folder, "update-manifest.json")
        text = read_bytes(manifest)
        with open(manifest, "wb") as f:
            f.write(text.replace(b'"size": ', b'"size":  ', 1))
        self.assert_refused(folder, "update-manifest.json")

    def test_a_manifest_signed_by_another_certificate_is_refused(self):
        folder, _ = self.staged()
        sign_detached(self.other_p12, os.path.join(folder, "update-manifest.json"),
                      os.path.join(folder, "update-manifest.json.p7s"))
        self.assert_refused(folder, "update-manifest.json")

    def test_a_removed_manifest_is_refused(self):
        folder, _ = self.staged()
        os.remove(os.path.join(folder, "update-manifest.json"))
        self.assert_refused(folder, "update-manifest.json")

    def test_an_unsigned_updater_reads_no_manifest(self):
        folder, new_dll = self.staged(sign=False)
        os.remove(os.path.join(folder, "update-manifest.json"))
        place_pe(os.path.join(folder, "bin", "zz_extra.dll"), "1.0.0.0", "unlisted")
        self.run_update(folder, SUCCESS)
        self.assertEqual(snapshot(self.product), {"bin/ledger.dll": new_dll, "data/rates.csv": RATES,
                                                  "bin/zz_extra.dll": read_bytes(
                                                      os.path.join(folder, "bin", "zz_extra.dll"))})
        self.assertIsNone(self.log())


if __name__ == "__main__":
    run_tests()
