"""A signed updater copies only the files its signer staged.

update-kit stage --sign (the native build's) signs a copy of the build's
updater.exe and the manifest of its payload with a throwaway certificate
made here by openssl (the key lives only in the PKCS#12 file, in a folder
removed at the end), for /TORVEN 7.1.0.12. The signed update installs as
an unsigned one does, also time-stamped (by an authority made here);
changed in any way after staging, or run for another product line or
version, it copies nothing, ends with the copy-failed box and logs the
first file that failed (or the manifest).
An unsigned updater reads no manifest at all."""

import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from payload_files import place_pe  # noqa: E402
from rig import (TORVEN_071, TORVEN_KEY, TORVEN_LOG_FILE, TORVEN_LOG_FOLDER, VANTRIX_KEY,  # noqa: E402
                 RigTestCase, cp932, read_bytes, run_tests, snapshot)

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


def start_time_stamp_authority(folder):
    """An RFC 3161 authority with a throwaway certificate in folder, answering
    (openssl ts -reply) on 127.0.0.1 from a thread -> the server."""
    key, pem, config, serial = (os.path.join(folder, "tsa" + ext) for ext in (".key", ".pem", ".cnf", ".serial"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=e2e TSA",
                    "-addext", "extendedKeyUsage=critical,timeStamping", "-keyout", key, "-out", pem],
                   check=True, capture_output=True)
    with open(serial, "w") as f:
        f.write("01\n")
    with open(config, "w") as f:
        f.write("[tsa]\ndefault_tsa = t\n[t]\nserial = %s\nsigner_cert = %s\nsigner_key = %s\nsigner_digest = sha256\n"
                "default_policy = 1.2.3.4.1\ndigests = sha256\naccuracy = secs:1\ness_cert_id_alg = sha256\n"
                "crypto_device = builtin\n" % (serial, pem, key))

    class Reply(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers["Content-Length"]))
            reply = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", "/dev/stdin"],
                                   input=query, check=True, capture_output=True, timeout=30).stdout
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):  # no line on stderr for each query
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Reply)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class SignedUpdaterTest(RigTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.keys = tempfile.mkdtemp(prefix="e2e-signing-", dir=cls.rig.work)
        cls.addClassCleanup(shutil.rmtree, cls.keys, True)
        cls.p12, cls.pem = make_certificate(cls.keys, "signer")
        cls.other_p12, _ = make_certificate(cls.keys, "stranger")
        cls.tsa = start_time_stamp_authority(cls.keys)
        cls.addClassCleanup(cls.tsa.server_close)
        cls.addClassCleanup(cls.tsa.shutdown)

    def setUp(self):
        self.rig.reset()
        os.makedirs(os.path.join(self.rig.documents, TORVEN_LOG_FOLDER))
        self.product = self.rig.scratch("signed-product")
        place_pe(os.path.join(self.product, "bin", "ledger.dll"), "13.9.0.4", "signed-old")
        self.installed = snapshot(self.product)
        self.rig.reg_add(TORVEN_071, "RootDir", "REG_SZ", self.rig.windows_path(self.product) + "\\")
        self.rig.reg_add(TORVEN_071, "Version", "REG_SZ", "7.1.0.9")

    def staged(self, sign=True, timestamp=None):
        """A payload staged by update-kit (signed for ARGS by default) -> (folder, new ledger.dll's bytes)."""
        payload = self.rig.scratch("payload")
        new_dll = place_pe(os.path.join(payload, "bin", "ledger.dll"), "13.10.0.1", "signed-new")
        os.makedirs(os.path.join(payload, "data"))
        with open(os.path.join(payload, "data", "rates.csv"), "wb") as f:
            f.write(RATES)
        out = self.rig.scratch("update")
        command = [UPDATE_KIT, "stage", "--updater", self.rig.updater, "--payload", payload, "--out", out]
        if sign:
            command += ["--sign", self.p12, "--ca-file", self.pem, "--product", "TORVEN", "--version-code", ARGS[1]]
        if timestamp:
            command += ["--timestamp", timestamp]
        staged = subprocess.run(command, capture_output=True, env=dict(os.environ, UPDATE_KIT_SIGN_PASSWORD=PASSWORD))
        self.assertEqual(staged.returncode, 0, staged.stdout + staged.stderr)
        self.assertEqual(b"without a time stamp" in staged.stdout, sign and not timestamp, staged.stdout)
        return out, new_dll

    def run_update(self, folder, expected, args=ARGS):
        title, icon, text = expected
        box, code = self.rig.run_updater_box(args, exe=os.path.join(folder, "updater.exe"), timeout_ms=60000,
                                             exit_timeout=30)
        self.assertEqual(box.get("found"), b"1", "no final box: %r" % (box,))
        self.assertEqual((box["title"], box.text("icon"), box["text"]), (cp932(title), icon, cp932(text)), box)
        self.assertEqual(code, 0)

    def log(self, folder=TORVEN_LOG_FOLDER, name=TORVEN_LOG_FILE):
        path = os.path.join(self.rig.documents, folder, name)
        return read_bytes(path) if os.path.exists(path) else None

    def assert_refused(self, folder, named, args=ARGS, log=()):
        """The run copies nothing and logs `named` (below the update folder)."""
        self.run_update(folder, FAILURE, args)
        self.assert_nothing_copied(folder, named, log)

    def assert_nothing_copied(self, folder, named, log=()):
        self.assertEqual(snapshot(self.product), self.installed)
        windows = self.rig.windows_path(os.path.join(folder, *named.split("/")))
        self.assertEqual(self.log(*log), cp932("New[0.0.0.0]  FILE[%s]\r\n" % windows))

    # ---- cases --------------------------------------------------------------

    def test_a_signed_update_installs_as_an_unsigned_one_does(self):
        folder, new_dll = self.staged()
        exe = os.path.join(folder, "updater.exe")
        verify = subprocess.run(["osslsigncode", "verify", "-in", exe, "-CAfile", self.pem], capture_output=True)
        self.assertIn(b"Signature verification: ok", verify.stdout)
        self.assertNotEqual(read_bytes(exe), read_bytes(self.rig.updater))
        self.assertTrue(os.path.isfile(os.path.join(folder, "update-manifest.json.p7s")))

        self.run_update(folder, SUCCESS, ["/torven"] + ARGS[1:])  # upper-cased, as the run reads it
        self.assertEqual(snapshot(self.product), {"bin/ledger.dll": new_dll, "data/rates.csv": RATES})
        self.assertIsNone(self.log())

    def test_a_time_stamped_update_installs(self):
        folder, new_dll = self.staged(timestamp="http://127.0.0.1:%d/" % self.tsa.server_address[1])
        check = subprocess.run([UPDATE_KIT, "check", "--strict", folder], capture_output=True)
        self.assertEqual(check.returncode, 0, check.stdout)  # strict: not even the time-stamp warning
        self.run_update(folder, SUCCESS)
        self.assertEqual(snapshot(self.product), {"bin/ledger.dll": new_dll, "data/rates.csv": RATES})

    def test_a_manifest_for_another_product_line_or_version_is_refused(self):
        # VANTRIX 7.1 and TORVEN 7.0 are installed too: only the manifest stops these runs.
        os.makedirs(os.path.join(self.rig.documents, "vantrixzai"))
        for key, version in ((VANTRIX_KEY % "071", "7.1.0.9"), (TORVEN_KEY % "070", "7.0.0.9")):
            self.rig.reg_add(key, "RootDir", "REG_SZ", self.rig.windows_path(self.product))
            self.rig.reg_add(key, "Version", "REG_SZ", version)
        folder, _ = self.staged()
        self.assert_refused(folder, "update-manifest.json", ["/VANTRIX"] + ARGS[1:], ("vantrixzai", "VXzCopyErr.Log"))
        # A higher version of the edition; "7.01.0.12", equal to 7.1.0.12 piece
        # by piece, whose first three characters pick edition 7.0.
        for code in ("7.1.0.13", "7.01.0.12"):
            self.assert_refused(folder, "update-manifest.json", ["/TORVEN", code, ARGS[2]])
        # Signed by the right key, but naming no product line and version.
        manifest = os.path.join(folder, "update-manifest.json")
        text = read_bytes(manifest)
        with open(manifest, "wb") as f:
            f.write(text.replace(b'  "product": "TORVEN",\n  "versionCode": "7.1.0.12",\n', b""))
        self.assertNotEqual(read_bytes(manifest), text)
        sign_detached(self.p12, manifest, os.path.join(folder, "update-manifest.json.p7s"))
        self.assert_refused(folder, "update-manifest.json")

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

    def test_a_signed_updater_swapped_for_an_unsigned_copy_after_start_is_refused(self):
        # Windows lets a running program's file be renamed: once the signed
        # updater is loaded, and before its first line runs, it moves aside
        # and an unsigned copy takes its name. Read as unsigned, the run would
        # copy the unlisted DLL.
        folder, _ = self.staged()
        place_pe(os.path.join(folder, "bin", "zz_extra.dll"), "1.0.0.0", "stranger")
        exe = os.path.join(folder, "updater.exe")
        release = os.path.join(self.rig.scratch("release"), "go")
        starter = self.rig.tool_start("suspended", "--release", self.rig.windows_path(release),
                                      self.rig.windows_path(exe), *ARGS)
        os.rename(exe, os.path.join(folder, "signed.exe"))
        shutil.copyfile(self.rig.updater, exe)
        open(release, "wb").close()
        box = self.rig.tool("box", "--timeout-ms", "60000", timeout=90)
        self.assertEqual((box.get("title"), box.get("text")), (cp932(FAILURE[0]), cp932(FAILURE[2])), box)
        self.assertEqual((self.rig.tool_finish(starter, timeout=60).get("exit")), b"0")
        self.assert_nothing_copied(folder, "updater.exe")

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
