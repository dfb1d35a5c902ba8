"""A job list through Tarnwick and tarnmail to a real SMTP server (aiosmtpd)
on 127.0.0.1: what arrives is checked with Python's own MIME parser.
TARNWICK and TARNMAIL name the built executables."""

import email
import email.policy
import os
import shutil
import subprocess
import tempfile
import unittest

from aiosmtpd.controller import Controller

from smtp_support import Recorder, free_port

TARNWICK = os.environ.get("TARNWICK", "")
TARNMAIL = os.environ.get("TARNMAIL", "")
PERMANENT, UNREACHABLE = 69, 75  # sysexits: refused, temporary


def windows_text(lines):
    return "".join(line + "\r\n" for line in lines).encode("cp932")


class TarnwickThroughSmtpTest(unittest.TestCase):
    def setUp(self):
        if not (os.path.exists(TARNWICK) and os.path.exists(TARNMAIL)):
            self.skipTest("TARNWICK and TARNMAIL must name the built programs")
        self.dir = tempfile.mkdtemp(prefix="tarnwick-smtp-")
        self.addCleanup(shutil.rmtree, self.dir)
        for exe in (TARNWICK, TARNMAIL):
            shutil.copy(exe, self.dir)
        os.mkdir(os.path.join(self.dir, "temp"))
        os.mkdir(os.path.join(self.dir, "mails"))
        self.write("Tarnwick.ini", b"[Mail]\r\nName=tarnmail\r\n")
        self.recorder = Recorder()
        self.port = free_port()
        controller = Controller(self.recorder, hostname="127.0.0.1", port=self.port)
        controller.start()
        self.addCleanup(controller.stop)
        self.write("tarnmail.ini", b"[SMTP]\r\nPort=%d\r\nTLS=off\r\nTimeout=20\r\n" % self.port)

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

    def run_tarnwick(self, *args):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        env.pop("DISPLAY", None)
        return subprocess.run(["./Tarnwick", "/P", "jobs.txt", "/i"] + list(args), cwd=self.dir, env=env,
                              capture_output=True, timeout=120).returncode

    def results(self):
        with open(os.path.join(self.dir, "$mail_result.csv"), "rb") as f:
            return [line.split(",") for line in f.read().decode("cp932").split("\r\n") if line]

    def test_a_batch_arrives_complete(self):
        attachment = bytes(range(256)) * 8
        self.write("資料.bin", attachment)
        self.write("cc.txt", windows_text(["cc@example.jp"]))
        self.write("bcc.txt", windows_text(["hidden@example.jp"]))
        self.write("mails/m1.txt", windows_text([
            "log.txt", "127.0.0.1", "to1@example.jp,>#cc cc.txt,>#bcc bcc.txt",
            '"事務局 <office@example.jp>",reply@example.jp', "ｾﾐﾅｰのご案内", "資料.bin",
            "山田様", "ﾃｽﾄ本文です。"]))
        self.write("mails/m2.txt", windows_text([
            "log.txt", "127.0.0.1", "to2@example.jp", "office@example.jp", "二通目", "", "二通目の本文"]))
        self.write("jobs.txt", windows_text(["mails/m1.txt,A01", "mails/m2.txt,A02"]))

        self.assertEqual(self.run_tarnwick("/z"), 0)
        self.assertEqual(len(self.recorder.mails), 2)
        sender, rcpts, raw = self.recorder.mails[0]
        self.assertEqual(sorted(rcpts), ["cc@example.jp", "hidden@example.jp", "to1@example.jp"])
        self.assertNotIn(b"hidden@example.jp", raw)
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        self.assertEqual(str(msg["Subject"]), "セミナーのご案内")
        # Tarnwick encodes the name with the blank before "<" inside the word.
        self.assertEqual(msg["From"].addresses[0].display_name.strip(), "事務局")
        self.assertEqual(msg["From"].addresses[0].addr_spec, "office@example.jp")
        self.assertEqual(str(msg["Cc"]), "cc@example.jp")
        body = msg.get_body(preferencelist=("plain",)).get_content()
        self.assertEqual(body.replace("\r\n", "\n"), "山田様\nテスト本文です。\n")
        parts = list(msg.iter_attachments())
        self.assertEqual(len(parts), 1)
        self.assertEqual(parts[0].get_filename(), "資料.bin")
        self.assertEqual(parts[0].get_content(), attachment)
        self.assertEqual([r[4] for r in self.results()], ["送信完了", "送信完了"])

    def test_a_refused_recipient_and_a_server_that_is_down_are_failures(self):
        self.write("mails/m1.txt", windows_text(["log.txt", "127.0.0.1", "nobody@example.jp", "f@example.jp", "s", ""]))
        self.write("jobs.txt", windows_text(["mails/m1.txt,A01"]))
        self.recorder.refuse_rcpt = "nobody@example.jp"
        self.assertEqual(self.run_tarnwick(), PERMANENT)
        self.assertEqual(self.results()[0][3:5], [str(PERMANENT), "送信異常"])

        self.write("tarnmail.ini", b"[SMTP]\r\nPort=%d\r\nTLS=off\r\nConnectTimeout=5\r\n" % free_port())
        self.assertEqual(self.run_tarnwick(), UNREACHABLE)
        self.assertEqual(self.results()[0][3:5], [str(UNREACHABLE), "送信異常"])


if __name__ == "__main__":
    unittest.main()
