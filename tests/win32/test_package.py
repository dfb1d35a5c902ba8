"""The Windows package as an operator meets it, under Wine: the zip unpacked
into a folder whose name holds a space and Japanese, its example batch sent
with tarnmail.exe to the outbox and over STARTTLS to a loopback server that
trusts a private CA, the mailer found in the program folder (batch mode
too), never in the work folder, Name= with blanks, and the code-page check.
PACKAGE names the zip, WINE the emulator, WINE_RUN tests/wine-run.sh."""

import glob
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tarnmail"))
from smtp_support import Recorder, free_port  # noqa: E402

PACKAGE = os.environ.get("PACKAGE", "")
WINE = os.environ.get("WINE", "")
WINE_RUN = os.environ.get("WINE_RUN", "")
NOT_FOUND = "メーラーが見つかりません: ".encode("cp932")


def windows_text(text):
    return text.replace("\n", "\r\n").encode("cp932")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(PACKAGE):
            raise unittest.SkipTest("no package: run cpack in the build folder first")

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="package-")
        self.addCleanup(shutil.rmtree, self.root)
        unpacked = os.path.join(self.root, "配信 テスト")
        with zipfile.ZipFile(PACKAGE) as z:
            z.extractall(unpacked)
        (top,) = os.listdir(unpacked)
        self.dir = os.path.join(unpacked, top)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def write(self, name, text):
        with open(self.path(name), "wb") as f:
            f.write(windows_text(text))

    def run_wine(self, args, env=None, timeout=240):
        full_env = dict(os.environ)
        full_env.update(env or {})
        start = time.monotonic()
        r = subprocess.run(["sh", WINE_RUN, "--display", WINE] + args, cwd=self.dir, env=full_env,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        r.elapsed = time.monotonic() - start
        return r

    def tarnwick(self, *args, env=None):
        return self.run_wine([self.path("Tarnwick.exe"), "/P", "batch\\jobs.txt", "/i"] + list(args), env=env)

    def statuses(self):
        with open(self.path("$mail_result.csv"), "rb") as f:
            return [line.split(b",")[3] for line in f.read().split(b"\r\n") if line]

    def outbox(self):
        return sorted(glob.glob(self.path("temp", "outbox", "*.eml")))

    def test_example_batch_to_the_outbox(self):
        r = self.run_wine(["cmd", "/c", "example.bat"])
        self.assertEqual(self.statuses(), [b"0"] * 3, r.stderr)
        self.assertEqual(len(self.outbox()), 3)
        for name in ("Tarnwick.exe", "tarnmail.exe", "tarnmerge.exe", "Tarnwick.ini", "tarnmail.ini",
                     "DesignConfig.ini", "README-ja.txt"):
            self.assertTrue(os.path.exists(self.path(name)), name)
        with open(self.path("README-ja.txt"), "rb") as f:
            self.assertIn("展開する場所".encode("cp932") + b"\r\n", f.read())

    def test_starttls_with_a_private_ca(self):
        from aiosmtpd.controller import Controller
        self.make_ca("other")
        cert, key = self.make_server_cert(self.make_ca("ca"))
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        recorder, port = Recorder(), free_port()
        controller = Controller(recorder, hostname="127.0.0.1", port=port, tls_context=context,
                                require_starttls=True)
        controller.start()
        self.addCleanup(controller.stop)
        cases = [("other.pem", [b"78"] * 3, 0), ("ca.pem", [b"0"] * 3, 3)]
        for ca_file, statuses, mails in cases:
            with self.subTest(ca_file=ca_file):
                self.write("tarnmail.ini", "[SMTP]\nHost=localhost\nPort=%d\nTLS=required\nCAFile=%s\n"
                           % (port, ca_file))
                r = self.tarnwick()
                self.assertEqual(self.statuses(), statuses, r.stderr)
                self.assertEqual(len(recorder.mails), mails)

    def make_ca(self, name):
        key, pem = self.path(name + ".key"), self.path(name + ".pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Test CA " + name, "-keyout", key, "-out", pem,
                        "-addext", "basicConstraints=critical,CA:TRUE",
                        "-addext", "keyUsage=critical,keyCertSign,cRLSign"],
                       check=True, capture_output=True)
        return name

    def make_server_cert(self, ca):
        key, csr, cert, ext = (self.path("server." + e) for e in ("key", "csr", "pem", "ext"))
        subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                        "-keyout", key, "-out", csr], check=True, capture_output=True)
        with open(ext, "w") as f:
            f.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n")
        subprocess.run(["openssl", "x509", "-req", "-in", csr, "-CA", self.path(ca + ".pem"),
                        "-CAkey", self.path(ca + ".key"), "-CAcreateserial", "-days", "2",
                        "-extfile", ext, "-out", cert], check=True, capture_output=True)
        return cert, key

    def test_batch_mode_finds_the_mailer_in_the_program_folder(self):
        r = self.tarnwick("/d")
        self.assertEqual(self.statuses(), [b"0"] * 3, r.stderr)
        self.assertEqual(len(self.outbox()), 3)
        with open(self.path("$mail_log.txt"), "rb") as f:
            log = f.read()
        self.assertEqual(log.count(b"result: 0 sent"), 3, log)

    def test_a_mailer_planted_in_the_work_folder_is_not_run(self):
        self.write("Tarnwick.ini", "[Mail]\nName=smail.exe\n")
        shutil.copy(self.path("tarnmail.exe"), self.path("temp", "smail.exe"))
        shutil.copy(self.path("tarnmail.ini"), self.path("temp", "tarnmail.ini"))
        for mode in ([], ["/d"]):
            with self.subTest(mode=mode):
                r = self.tarnwick(*mode)
                self.assertEqual(self.statuses(), [b"-1"] * 3, r.stderr)
                self.assertEqual(self.outbox(), [])
                self.assertIn(NOT_FOUND + b"smail.exe", r.stderr)
                with open(self.path("$mail_log.txt"), "rb") as f:
                    self.assertIn(NOT_FOUND + b"smail.exe", f.read())

    def test_a_mailer_path_with_blanks_plainly_or_quoted(self):
        os.mkdir(self.path("mail tools"))
        for name in ("tarnmail.exe", "tarnmail.ini"):
            shutil.copy(self.path(name), self.path("mail tools", name))
        mailer = windows_path(self.path("mail tools", "tarnmail.exe"))
        for name in (mailer, '"%s"' % mailer):
            for mode in ([], ["/d"]):
                with self.subTest(name=name, mode=mode):
                    shutil.rmtree(self.path("temp", "outbox"), ignore_errors=True)
                    self.write("Tarnwick.ini", "[Mail]\nName=%s\n" % name)
                    r = self.tarnwick(*mode)
                    self.assertEqual(self.statuses(), [b"0"] * 3, r.stderr)
                    self.assertEqual(len(self.outbox()), 3)

    def test_another_code_page_ends_with_one_at_once(self):
        r = self.tarnwick(env={"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn(b"not 932", r.stderr)
        self.assertLess(r.elapsed, 30)
        self.assertFalse(os.path.exists(self.path("$mail_result.csv")))


if __name__ == "__main__":
    unittest.main()
