"""update-kit stage and check as programs: exit codes, the JSON findings, the
manifest against the staged bytes, signing with a throwaway certificate made
here by openssl (no key is ever kept), and folders left whole on failure.

    python3 stage_test.py UPDATE_KIT PE_FIXTURE_DIR
"""

import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

UPDATE_KIT = None
FIXTURES = None
PASSWORD = "throwaway-Pässwort"


def make_certificate(folder):
    """A self-signed code-signing certificate and its PKCS#12 file -> (p12, pem)."""
    key, pem, p12 = (os.path.join(folder, n) for n in ("key.pem", "cert.pem", "sign.p12"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=ORMIKA update-kit test", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", key, "-out", pem], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", pem, "-out", p12,
                    "-passout", "env:UPDATE_KIT_SIGN_PASSWORD"],
                   check=True, capture_output=True, env=dict(os.environ, UPDATE_KIT_SIGN_PASSWORD=PASSWORD))
    os.remove(key)
    return p12, pem


def sign_detached(p12, content, out):
    """Signs the file content into out (detached CMS, DER) as stage signs a manifest."""
    signer = os.path.join(os.path.dirname(p12), "signer-with-key.pem")
    env = dict(os.environ, UPDATE_KIT_SIGN_PASSWORD=PASSWORD)
    subprocess.run(["openssl", "pkcs12", "-in", p12, "-nodes", "-passin", "env:UPDATE_KIT_SIGN_PASSWORD",
                    "-out", signer], check=True, capture_output=True, env=env)
    subprocess.run(["openssl", "cms", "-sign", "-binary", "-outform", "DER", "-noattr", "-in", content,
                    "-signer", signer, "-inkey", signer, "-out", out], check=True, capture_output=True)
    os.remove(signer)


def run_kit(*args, password=None):
    env = dict(os.environ)
    env.pop("UPDATE_KIT_SIGN_PASSWORD", None)
    if password is not None:
        env["UPDATE_KIT_SIGN_PASSWORD"] = password
    return subprocess.run([UPDATE_KIT, *args], capture_output=True, env=env, timeout=120)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


class KitTestCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="stage_test-")
        self.addCleanup(shutil.rmtree, self.tmp)
        self.payload = os.path.join(self.tmp, "payload")
        self.updater = os.path.join(FIXTURES, "japanese.pe32.dll")  # any PE file signs alike
        shutil.copy(os.path.join(FIXTURES, "japanese.pe32.dll"), self.p("bin/ledger.dll"))
        shutil.copy(os.path.join(FIXTURES, "three_items.pe32.dll"), self.p("bin/tax/old.dll"))
        write(self.p("data/rates.csv"), "税率,10\r\n".encode("cp932"))
        self.out = os.path.join(self.tmp, "update-7.1.0.12")
        self.bound = ["--product", "TORVEN", "--version-code", "7.1.0.12"]

    def p(self, rel):
        path = os.path.join(self.payload, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        return path

    def beside_out(self):
        return sorted(os.listdir(self.tmp))


class StageTest(KitTestCase):
    def test_signed_stage_verifies_and_its_manifest_matches_the_files(self):
        p12, pem = make_certificate(self.tmp)
        result = run_kit("stage", "--updater", self.updater, "--payload", self.payload, "--out", self.out,
                         "--sign", p12, "--ca-file", pem, *self.bound, password=PASSWORD)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(result.stderr, b"")  # not a terminal: no progress
        # The warning about the three-item version is shown, and does not refuse.
        self.assertIn(b"warning: bin/tax/old.dll:", result.stdout)
        self.assertIn(b"warning: updater.exe: signed without a time stamp: Windows stops trusting the signature "
                      b"when the certificate expires (--timestamp URL countersigns it)", result.stdout)
        self.assertEqual(self.beside_out(), ["cert.pem", "payload", "sign.p12", "update-7.1.0.12"])

        staged = os.path.join(self.out, "updater.exe")
        verify = subprocess.run(["osslsigncode", "verify", "-in", staged, "-CAfile", pem], capture_output=True)
        self.assertEqual(verify.returncode, 0, verify.stdout)
        self.assertIn(b"Signature verification: ok", verify.stdout)
        self.assertNotEqual(read(self.updater), read(staged))

        manifest = json.loads(read(os.path.join(self.out, "update-manifest.json")).decode("utf-8"))
        self.assertEqual(manifest["format"], "update-kit manifest 1")
        self.assertEqual((manifest["product"], manifest["versionCode"]), ("TORVEN", "7.1.0.12"))
        on_disk = set()
        for folder, _, names in os.walk(self.out):
            for name in names:
                rel = os.path.relpath(os.path.join(folder, name), self.out).replace(os.sep, "\\")
                if rel not in ("update-manifest.json", "update-manifest.json.p7s"):
                    on_disk.add(rel)
        self.assertEqual([e["path"] for e in manifest["files"]], sorted(on_disk))
        versions = {}
        for entry in manifest["files"]:
            data = read(os.path.join(self.out, *entry["path"].split("\\")))
            self.assertEqual(entry["size"], len(data), entry["path"])
            self.assertEqual(entry["sha256"], hashlib.sha256(data).hexdigest(), entry["path"])
            versions[entry["path"]] = entry["fileVersion"]
        self.assertEqual(versions, {"bin\\ledger.dll": "13.1.2.80", "bin\\tax\\old.dll": "7.1.0",
                                    "data\\rates.csv": None, "updater.exe": "13.1.2.80"})
        # The payload's own bytes came across unchanged.
        self.assertEqual(read(self.p("data/rates.csv")), read(os.path.join(self.out, "data", "rates.csv")))

        # The manifest's detached signature (DER) is the updater's signer's, and verifies.
        signature = os.path.join(self.out, "update-manifest.json.p7s")
        cms = subprocess.run(["openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", signature,
                              "-content", os.path.join(self.out, "update-manifest.json"), "-CAfile", pem,
                              "-purpose", "any", "-out", os.devnull, "-signer", os.path.join(self.tmp, "signer.pem")],
                             capture_output=True)
        self.assertEqual(cms.returncode, 0, cms.stderr)
        self.assertEqual(read(os.path.join(self.tmp, "signer.pem")), read(pem))

        # What was staged passes check, the manifest beside updater.exe included.
        check = run_kit("check", "--strict", self.out)
        self.assertEqual(check.returncode, 1)  # the three-item version warns
        self.assertIn(b"\nstaged for /TORVEN 7.1.0.12 (update-manifest.json)\n", check.stdout)
        self.assertIn(b"warning: updater.exe: signed without a time stamp", check.stdout)
        os.remove(os.path.join(self.out, "bin", "tax", "old.dll"))
        check = run_kit("check", "--strict", self.out)
        self.assertEqual(check.returncode, 1)  # the manifest still lists it
        self.assertIn(b"error: bin\\tax\\old.dll: listed in the manifest but not staged", check.stdout)

    def test_check_holds_a_signed_update_to_its_signed_manifest(self):
        p12, _ = make_certificate(self.tmp)
        os.remove(self.p("bin/tax/old.dll"))
        self.assertEqual(run_kit("stage", "--updater", self.updater, "--payload", self.payload, "--out", self.out,
                                 "--sign", p12, "--ca-file", os.path.join(self.tmp, "cert.pem"), *self.bound,
                                 password=PASSWORD).returncode, 0)
        report = json.loads(run_kit("check", "--json", self.out).stdout)  # the time stamp's warning alone
        self.assertEqual((report["fitToShip"], report["warnings"], report["target"]),
                         (True, 1, {"product": "TORVEN", "versionCode": "7.1.0.12"}))

        def errors():
            result = run_kit("check", self.out)
            return [line for line in result.stdout.decode().splitlines() if line.startswith("error")]

        rates = os.path.join(self.out, "data", "rates.csv")
        rates_bytes = read(rates)
        write(os.path.join(self.out, "bin", "extra.dll"), b"MZ")
        write(rates, b"changed")
        self.assertEqual(errors(), ["error: data/rates.csv: differs from its manifest entry (size or SHA-256)",
                                    "error: bin/extra.dll: staged but not in the manifest"])
        os.remove(os.path.join(self.out, "bin", "extra.dll"))
        write(rates, rates_bytes)
        manifest = os.path.join(self.out, "update-manifest.json")
        original = read(manifest)
        write(manifest, original.replace(b'"size": ', b'"size":  '))
        self.assertIn("error: update-manifest.json.p7s: does not verify for update-manifest.json", errors())
        # Signed by the right key, but bound to nothing.
        write(manifest, original.replace(b'  "product": "TORVEN",\n  "versionCode": "7.1.0.12",\n', b""))
        sign_detached(p12, manifest, os.path.join(self.out, "update-manifest.json.p7s"))
        self.assertEqual(errors(), ["error: update-manifest.json: names no product line and version code (stage "
                                    "--product, --version-code): the signed updater refuses to copy"])
        # The unchanged manifest signed by another certificate.
        other = tempfile.mkdtemp(dir=self.tmp)
        other_p12, _ = make_certificate(other)
        write(manifest, original)
        sign_detached(other_p12, manifest, os.path.join(self.out, "update-manifest.json.p7s"))
        self.assertIn("error: update-manifest.json.p7s: made by another certificate than the one that signed "
                      "updater.exe", errors())
        os.remove(os.path.join(self.out, "update-manifest.json.p7s"))
        self.assertIn("error: update-manifest.json.p7s: missing: the signed updater refuses to copy without it",
                      errors())
        os.remove(manifest)
        self.assertEqual(errors(), ["error: update-manifest.json: missing: the signed updater refuses to copy "
                                    "without it"])

    def test_refusals_leave_nothing_behind(self):
        p12, pem = make_certificate(self.tmp)
        before = self.beside_out()

        # A password that does not open the PKCS#12 file.
        result = run_kit("stage", "--updater", self.updater, "--payload", self.payload, "--out", self.out,
                         "--sign", p12, "--ca-file", pem, *self.bound, password="wrong")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"could not sign", result.stderr)
        self.assertEqual(self.beside_out(), before)

        # A signature that the given certificates do not vouch for.
        other = os.path.join(self.tmp, "other")
        os.mkdir(other)
        _, other_pem = make_certificate(other)
        before = self.beside_out()
        result = run_kit("stage", "--updater", self.updater, "--payload", self.payload, "--out", self.out,
                         "--sign", p12, "--ca-file", other_pem, *self.bound, password=PASSWORD)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"does not verify", result.stderr)
        self.assertEqual(self.beside_out(), before)

        # A payload that fails the check: a link to a folder.
        os.symlink("tax", self.p("bin/linked"))
        result = run_kit("stage", "--updater", self.updater, "--payload", self.payload, "--out", self.out)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"error: bin/linked: link to a folder", result.stdout)
        self.assertIn(b"not staged", result.stdout)
        self.assertEqual(self.beside_out(), before)
        os.remove(self.p("bin/linked"))

        # With --strict, warnings refuse too.
        result = run_kit("stage", "--strict", "--updater", self.updater, "--payload", self.payload,
                         "--out", self.out)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.beside_out(), before)

        # An OUT that holds something is never touched; an empty one is filled.
        write(os.path.join(self.out, "keep.txt"), b"keep")
        result = run_kit("stage", "--updater", self.updater, "--payload", self.payload, "--out", self.out)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(os.listdir(self.out), ["keep.txt"])
        os.remove(os.path.join(self.out, "keep.txt"))
        result = run_kit("stage", "--updater", self.updater, "--payload", self.payload, "--out", self.out)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(sorted(os.listdir(self.out)), ["bin", "data", "update-manifest.json", "updater.exe"])

    def test_bad_usage(self):
        base = ["stage", "--updater", self.updater, "--payload", self.payload, "--out", self.out]
        self.assertEqual(run_kit(*base, "--sign", "x.p12", *self.bound).returncode, 2)  # no password in the environment
        self.assertEqual(run_kit(*base, "--ca-file", "x.pem").returncode, 2)
        self.assertEqual(run_kit(*base, "--timestamp", "http://127.0.0.1:1/").returncode, 2)  # without --sign
        # Signing binds the update to a product line and an edition's version code.
        for bound in ([], ["--product", "TORVEN"], ["--product", "torven", "--version-code", "7.1.0.12"],
                      ["--product", "TORVEN", "--version-code", "9.9.0.1"]):
            self.assertEqual(run_kit(*base, "--sign", "x.p12", *bound, password=PASSWORD).returncode, 2, bound)
        self.assertEqual(run_kit("stage", "--payload", self.payload, "--out", self.out).returncode, 2)
        self.assertEqual(run_kit(*base, "--bogus").returncode, 2)
        self.assertEqual(run_kit("stage", "--updater", self.payload, "--payload", self.payload,
                                 "--out", self.out).returncode, 2)
        self.assertFalse(os.path.exists(self.out))
        help_text = run_kit("stage", "--help")
        self.assertEqual(help_text.returncode, 0)
        self.assertIn(b"UPDATE_KIT_SIGN_PASSWORD", help_text.stdout)


class CheckCommandTest(KitTestCase):
    def test_exit_codes_text_and_json(self):
        staged = self.payload
        shutil.copy(self.updater, os.path.join(staged, "updater.exe"))
        # Warnings only: fit to ship, unless strict.
        result = run_kit("check", staged)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout.splitlines()[-1],
                         b"0 errors, 1 warning, 3 files checked: fit to ship")
        self.assertEqual(run_kit("check", "--strict", staged).returncode, 1)

        # Names that need escaping in JSON, and one that is not UTF-8.
        write(os.path.join(staged, "bin", 'q"uo\\te.txt'), b"x")
        write(os.path.join(staged.encode(), b"bin", b"bad\xff.txt"), b"x")
        write(os.path.join(staged, "bin", "tab\there.txt"), b"x")
        result = run_kit("check", "--json", staged)
        self.assertEqual(result.returncode, 1)
        report = json.loads(result.stdout.decode("utf-8"))
        self.assertFalse(report["fitToShip"])
        self.assertEqual((report["errors"], report["warnings"]), (3, 1))
        self.assertEqual([(f["severity"], f["path"]) for f in report["findings"]],
                         [("error", "bin/bad\ufffd.txt"), ("error", 'bin/q"uo\\te.txt'),
                          ("error", "bin/tab\there.txt"), ("warning", "bin/tax/old.dll")])

        # The target root decides the destination's length.
        shutil.rmtree(os.path.join(staged, "bin"))
        write(os.path.join(staged, "d", "x" * 200), b"x")
        self.assertEqual(run_kit("check", staged).returncode, 0)
        result = run_kit("check", "--target-root", "C:\\" + "t" * 60, staged)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"destination path of 266 bytes", result.stdout)

    def test_bad_usage(self):
        self.assertEqual(run_kit("check").returncode, 2)
        self.assertEqual(run_kit("check", os.path.join(self.tmp, "missing")).returncode, 2)
        self.assertEqual(run_kit("check", self.payload, "--target-root").returncode, 2)
        self.assertEqual(run_kit("check", self.payload, "--target-root", "C:\\€").returncode, 2)
        self.assertEqual(run_kit("check", self.payload, self.payload).returncode, 2)
        help_text = run_kit("check", "--help")
        self.assertEqual(help_text.returncode, 0)
        self.assertIn(b"C:\\Program Files (x86)\\ORMIKA\\TORVEN", help_text.stdout)


class DiffTest(KitTestCase):
    """diff's faults that no run under Wine can show: each one refuses, names
    the file, and writes nothing."""

    def test_faults_refuse_the_payload_and_write_nothing(self):
        old = os.path.join(self.tmp, "old")
        shutil.copytree(self.payload, old)
        write(os.path.join(self.payload, "help", "unchanged.txt"), b"the same in both")
        write(os.path.join(old, "help", "unchanged.txt"), b"the same in both")
        faults = {
            "notes.txt": (b"beside the updater", "new or changed at NEW's top level"),
            "data/caf\u00e9.csv": (b"x", "name cannot be written in code page 932"),
        }
        for rel, (data, reason) in faults.items():
            with self.subTest(rel=rel):
                write(self.p(rel), data)
                result = run_kit("diff", "--from", old, "--to", self.payload, "--out", self.out)
                os.remove(self.p(rel))
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                self.assertIn(("error: %s: %s" % (rel, reason)).encode(), result.stdout)
                self.assertIn(b"no payload written", result.stdout)
                self.assertEqual(self.beside_out(), ["old", "payload"])
        os.symlink("nowhere", self.p("data/broken"))
        result = run_kit("diff", "--from", old, "--to", self.payload, "--out", self.out, "--strict")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"error: data/broken: in NEW, neither a file nor a folder", result.stdout)
        os.remove(self.p("data/broken"))

        # Unchanged everywhere: an empty payload, written (a warning says so),
        # but not with --strict, nor into a folder that holds something.
        result = run_kit("diff", "--from", old, "--to", self.payload, "--out", self.out, "--strict")
        self.assertEqual((result.returncode, self.beside_out()), (1, ["old", "payload"]), result.stdout)
        write(os.path.join(self.out, "kept"), b"mine")
        result = run_kit("diff", "--from", old, "--to", self.payload, "--out", self.out)
        self.assertEqual((result.returncode, os.listdir(self.out)), (1, ["kept"]), result.stderr)
        os.remove(os.path.join(self.out, "kept"))
        result = run_kit("diff", "--from", old, "--to", self.payload, "--out", self.out)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn(b"warning: .: empty payload", result.stdout)
        self.assertEqual(os.listdir(self.out), [])


if __name__ == "__main__":
    UPDATE_KIT, FIXTURES = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
