"""A signed updater still runs: a copy of the build's updater.exe is signed
with osslsigncode and a throwaway certificate made here by openssl (the key
is deleted once the PKCS#12 file holds it, and all of it lies in the case's
scratch folder), the signature verifies, and the signed program copies a
small payload under Wine and ends with the success box."""

import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import place_pe  # noqa: E402
from rig import TORVEN_071, RigTestCase, cp932, read_bytes, run_tests, snapshot  # noqa: E402

ARGS = ["/TORVEN", "7.1.0.12", "署名付き"]
SUCCESS = ("情報", "information", "インストールは正常に終了しました。")
PASSWORD = "throwaway"


def sign(exe, out, folder):
    """Signs `exe` into `out` with a new self-signed code-signing certificate
    made in `folder`; returns the certificate's PEM file."""
    key, pem, p12 = (os.path.join(folder, n) for n in ("key.pem", "cert.pem", "sign.p12"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=ORMIKA e2e signing", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", key, "-out", pem], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", pem, "-out", p12,
                    "-passout", "pass:" + PASSWORD], check=True, capture_output=True)
    os.remove(key)
    subprocess.run(["osslsigncode", "sign", "-pkcs12", p12, "-readpass", "-", "-h", "sha256",
                    "-in", exe, "-out", out], input=PASSWORD.encode(), check=True, capture_output=True)
    return pem


class SignedUpdaterTest(RigTestCase):
    def setUp(self):
        self.rig.reset()

    def test_a_signed_updater_verifies_and_copies_its_payload(self):
        rig = self.rig
        signing = rig.scratch("signing")
        stage = rig.scratch("signed-stage")
        exe = os.path.join(stage, "updater.exe")
        pem = sign(rig.updater, exe, signing)

        verify = subprocess.run(["osslsigncode", "verify", "-in", exe, "-CAfile", pem], capture_output=True)
        self.assertEqual(verify.returncode, 0, verify.stdout)
        self.assertIn(b"Signature verification: ok", verify.stdout)
        self.assertNotEqual(read_bytes(exe), read_bytes(rig.updater))
        signed = read_bytes(exe)

        new_dll = place_pe(os.path.join(stage, "bin", "ledger.dll"), "13.10.0.1", "signed-new")
        os.makedirs(os.path.join(stage, "data"))
        with open(os.path.join(stage, "data", "rates.csv"), "wb") as f:
            f.write(cp932("税率,10\r\n"))
        product = rig.scratch("signed-product")
        place_pe(os.path.join(product, "bin", "ledger.dll"), "13.9.0.4", "signed-old")
        rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", rig.windows_path(product) + "\\")
        rig.reg_add(TORVEN_071, "Version", "REG_SZ", "7.1.0.9")

        box, code = rig.run_updater_box(ARGS, exe=exe, timeout_ms=60000, exit_timeout=30)
        title, icon, text = SUCCESS
        self.assertEqual(box.get("found"), b"1", "no final box: %r" % (box,))
        self.assertEqual(box["title"], cp932(title), box)
        self.assertEqual(box.text("icon"), icon, box)
        self.assertEqual(box["text"], cp932(text), box)
        self.assertEqual(code, 0)
        self.assertEqual(snapshot(product), {"bin/ledger.dll": new_dll, "data/rates.csv": cp932("税率,10\r\n")})
        self.assertEqual(read_bytes(exe), signed)
        shutil.rmtree(signing)


if __name__ == "__main__":
    run_tests()
