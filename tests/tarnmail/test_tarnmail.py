"""End-to-end tests of tarnmail against a real SMTP server (aiosmtpd) on
127.0.0.1, and of its outbox mode. TARNMAIL names the built executable."""

import email
import email.policy
import glob
import logging
import os
import re
import shutil
import ssl
import subprocess
import tempfile
import unittest

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

from smtp_support import Recorder, free_port

TARNMAIL = os.environ.get("TARNMAIL", "")

# Exit codes documented in tools/tarnmail/README.md.
SENT, USAGE, UNREADABLE, UNREACHABLE, TEMPORARY, PERMANENT, AUTH_FAILED, OTHER = 0, 2, 3, 4, 5, 6, 7, 8


def sj(text):
    return text.encode("cp932")


def only_password_secret(server, session, envelope, mechanism, auth_data):
    # handled=False: aiosmtpd then answers 535 itself.
    return AuthResult(success=getattr(auth_data, "password", b"") == b"secret", handled=False)


class TarnmailTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not TARNMAIL or not os.path.exists(TARNMAIL):
            raise unittest.SkipTest("TARNMAIL does not name the built tarnmail")

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnmail-")
        self.addCleanup(shutil.rmtree, self.dir)
        # tarnmail.ini is read beside the executable, so each test has its own copy.
        self.exe = os.path.join(self.dir, "tarnmail")
        shutil.copy(TARNMAIL, self.exe)
        self.work = os.path.join(self.dir, "work")
        os.mkdir(self.work)

    def start_server(self, **kwargs):
        self.recorder = Recorder()
        self.port = free_port()
        controller = Controller(self.recorder, hostname="127.0.0.1", port=self.port, **kwargs)
        controller.start()
        self.addCleanup(controller.stop)

    def write_ini(self, text):
        with open(os.path.join(self.dir, "tarnmail.ini"), "w") as f:
            f.write(text)

    def write_work(self, name, data):
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def run_tarnmail(self, args, env=None):
        full_env = dict(os.environ)
        full_env.update(env or {})
        return subprocess.run([self.exe] + args, cwd=self.work, env=full_env,
                              capture_output=True, timeout=60)

    def parse(self, raw):
        return email.message_from_bytes(raw, policy=email.policy.default)

    def header_block(self, raw):
        return raw.split(b"\r\n\r\n", 1)[0].decode("ascii")

    def assert_well_formed_headers(self, raw):
        block = self.header_block(raw)
        for line in block.split("\r\n"):
            self.assertLessEqual(len(line), 78, line)
        for word in re.findall(r"=\?[^?]+\?[BbQq]\?[^?]*\?=", block):
            self.assertLessEqual(len(word), 75, word)

    # -- through SMTP ---------------------------------------------------

    def test_japanese_mail_with_recipients_and_attachments(self):
        self.start_server()
        subject = "【ご案内】第３回 技術セミナー開催のお知らせ（東京・大阪・名古屋・福岡・札幌・仙台 各会場）〜よろしく"
        body = "山田様\r\n\r\nいつもお世話になっております。\r\n" + "長い行" * 30 + "\r\n"
        self.write_work("body.txt", sj(body))
        pdf = bytes(range(256)) * 40
        pdf_path = self.write_work("資料.pdf", pdf)
        os.mkdir(os.path.join(self.work, "sub"))
        self.write_work("sub/表.csv", sj("名前,会社\r\n"))
        # A Windows-style relative path; the second byte of 表 is 0x5C, no separator.
        attachments = b'-a"' + sj(pdf_path) + b'","' + sj("sub\\表.csv") + b'"'
        args = [b"-h127.0.0.1:" + str(self.port).encode(),
                sj("-f事務局 太郎 <office@example.jp>"), b"-rreply@example.jp",
                b"-nbounce@example.jp", sj("-s" + subject),
                attachments.replace(b'"', b""), b"-m", b"-Fbody.txt",
                sj("to1@example.jp,CC:高橋 <cc1@example.jp>,BCC:hidden@example.jp"), b"-t"]
        r = self.run_tarnmail(args)
        self.assertEqual(r.returncode, SENT, r.stderr)

        mail_from, rcpts, raw = self.recorder.mails[0]
        self.assertEqual(mail_from, "bounce@example.jp")
        self.assertEqual(rcpts, ["to1@example.jp", "cc1@example.jp", "hidden@example.jp"])
        self.assertNotIn(b"hidden@", raw)
        self.assert_well_formed_headers(raw)

        m = self.parse(raw)
        # The CP932 wave dash goes out as JIS X 0208's, so it stays ISO-2022-JP.
        self.assertEqual(m["Subject"], subject.replace("\uff5e", "\u301c"))
        self.assertIn("=?ISO-2022-JP?B?", self.header_block(raw))
        self.assertEqual(m["From"].addresses[0].display_name, "事務局 太郎")
        self.assertEqual(m["From"].addresses[0].addr_spec, "office@example.jp")
        self.assertEqual(m["Reply-To"].addresses[0].addr_spec, "reply@example.jp")
        self.assertEqual(m["To"].addresses[0].addr_spec, "to1@example.jp")
        self.assertEqual(m["Cc"].addresses[0].display_name, "高橋")
        self.assertIsNone(m["Bcc"])
        self.assertTrue(m["Message-ID"])
        self.assertTrue(m["Date"].endswith("+0900"))

        parts = list(m.iter_parts())
        self.assertEqual(parts[0].get_content_charset(), "iso-2022-jp")
        self.assertEqual(parts[0]["Content-Transfer-Encoding"], "7bit")
        self.assertEqual(parts[0].get_content().replace("\r\n", "\n"), body.replace("\r\n", "\n"))
        self.assertEqual(parts[1].get_filename(), "資料.pdf")
        self.assertEqual(parts[1].get_content_type(), "application/pdf")
        self.assertEqual(parts[1].get_payload(decode=True), pdf)
        self.assertEqual(parts[2].get_filename(), "表.csv")
        self.assertEqual(parts[2].get_payload(decode=True), sj("名前,会社\r\n"))

    def test_characters_outside_iso_2022_jp_go_out_in_utf8(self):
        self.start_server()
        self.write_work("body.txt", sj("①の件、髙橋さんへ。\r\n"))
        r = self.run_tarnmail([b"-h127.0.0.1:" + str(self.port).encode(),
                               sj("-f髙橋 ｱｲｳ <t@example.jp>"), sj("-s第Ⅱ期のご案内"),
                               b"-m", b"-Fbody.txt", b"a@example.jp"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        raw = self.recorder.mails[0][2]
        self.assert_well_formed_headers(raw)
        m = self.parse(raw)
        self.assertEqual(m["Subject"], "第Ⅱ期のご案内")
        self.assertEqual(m["From"].addresses[0].display_name, "髙橋 ｱｲｳ")
        self.assertEqual(m.get_content_charset(), "utf-8")
        self.assertEqual(m.get_content().replace("\r\n", "\n"), "①の件、髙橋さんへ。\n")

    def test_arguments_as_split_from_an_unquoted_command_line(self):
        # A display name and an address list written with spaces arrive in pieces.
        self.start_server()
        r = self.run_tarnmail([b"-h127.0.0.1:" + str(self.port).encode(),
                               sj("-f山田"), sj("太郎"), b"<taro@example.jp>",
                               b"a@example.jp,", b"CC:b@example.jp"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        mail_from, rcpts, raw = self.recorder.mails[0]
        self.assertEqual(mail_from, "taro@example.jp")
        self.assertEqual(rcpts, ["a@example.jp", "b@example.jp"])
        self.assertEqual(self.parse(raw)["From"].addresses[0].display_name, "山田 太郎")

    def test_encoded_sender_name_is_kept(self):
        self.start_server()
        word = "=?ISO-2022-JP?B?GyRCOzNFRBsoQg==?="  # 山田, as Tarnwick's /z gives it
        r = self.run_tarnmail([b"-h127.0.0.1:" + str(self.port).encode(),
                               ("-f" + word + " <y@example.jp>").encode(), b"a@example.jp"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        raw = self.recorder.mails[0][2]
        self.assertIn("From: " + word + " <y@example.jp>", self.header_block(raw))

    def test_server_answers_give_documented_codes(self):
        self.start_server()
        base = [b"-h127.0.0.1:" + str(self.port).encode(), b"-fs@example.jp"]
        self.recorder.refuse_rcpt = "nobody@example.jp"
        r = self.run_tarnmail(base + [b"a@example.jp,nobody@example.jp", b"-d"])
        self.assertEqual(r.returncode, PERMANENT, r.stdout)
        self.assertIn(b"550", r.stdout)
        self.assertIn(b"result: 6", r.stdout)
        self.recorder.refuse_rcpt = None
        self.recorder.data_reply = "451 4.3.0 try again later"
        self.assertEqual(self.run_tarnmail(base + [b"a@example.jp"]).returncode, TEMPORARY)
        self.assertEqual(self.recorder.mails, [])

    def test_authentication(self):
        self.start_server(authenticator=only_password_secret, auth_required=True,
                          auth_require_tls=False)
        args = [b"-h127.0.0.1", b"-fs@example.jp", b"a@example.jp", b"-d"]
        self.write_ini("[SMTP]\nPort=%d\nUser=u\nPassword=wrong\nTLS=try\n" % self.port)
        r = self.run_tarnmail(args)
        self.assertEqual(r.returncode, AUTH_FAILED, r.stdout)
        self.assertIn(b"AUTH PLAIN (credentials hidden)", r.stdout)
        self.assertNotIn(b"AHUAd3Jvbmc", r.stdout)  # base64 of "\0u\0wrong"
        self.write_ini("[SMTP]\nPort=%d\nUser=u\nPassword=secret\n" % self.port)
        r = self.run_tarnmail(args)
        self.assertEqual(r.returncode, SENT, r.stdout)
        self.assertEqual(len(self.recorder.mails), 1)

    def test_tls(self):
        # A server without STARTTLS: "require" must not send in the clear.
        self.start_server()
        args = [b"-h127.0.0.1:%d" % self.port, b"-fs@example.jp", b"a@example.jp"]
        self.write_ini("[SMTP]\nTLS=require\n")
        self.assertEqual(self.run_tarnmail(args).returncode, OTHER)
        self.assertEqual(self.recorder.mails, [])

        if not shutil.which("openssl"):
            self.skipTest("no openssl to make a test certificate")
        key, cert = os.path.join(self.dir, "key.pem"), os.path.join(self.dir, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=localhost", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        self.start_server(tls_context=context, require_starttls=True)
        args[0] = b"-h127.0.0.1:%d" % self.port
        # An untrusted certificate is refused unless the settings allow it.
        self.write_ini("[SMTP]\nTLS=require\n")
        server_log = logging.getLogger("mail.log")
        server_log.disabled = True  # it would print the refused handshake
        try:
            self.assertEqual(self.run_tarnmail(args).returncode, OTHER)
        finally:
            server_log.disabled = False
        self.write_ini("[SMTP]\nTLS=require\nVerifyCertificate=0\n")
        r = self.run_tarnmail(args + [b"-d"])
        self.assertEqual(r.returncode, SENT, r.stdout)
        self.assertIn(b"STARTTLS", r.stdout)
        self.assertEqual(len(self.recorder.mails), 1)

    def test_server_down(self):
        port = free_port()  # nobody listens there
        self.write_ini("[SMTP]\nConnectTimeout=5\nTimeout=10\n")
        r = self.run_tarnmail([b"-h127.0.0.1:%d" % port, b"-fs@example.jp", b"a@example.jp"])
        self.assertEqual(r.returncode, UNREACHABLE, r.stderr)

    # -- without a server -----------------------------------------------

    def outbox_mails(self):
        return sorted(glob.glob(os.path.join(self.work, "outbox", "*.eml")))

    def test_outbox_and_date_zone(self):
        self.write_work("body.txt", sj("本文です。\r\n"))
        args = [sj("-f送信者 <s@example.jp>"), sj("-s件名"), b"-m", b"-Fbody.txt", b"a@example.jp"]
        self.assertEqual(self.run_tarnmail(args + [b"-t"], {"TZ": "EST5"}).returncode, SENT)
        self.assertEqual(self.run_tarnmail(args, {"TZ": "EST5"}).returncode, SENT)
        mails = self.outbox_mails()
        self.assertEqual(len(mails), 2)  # never one over the other
        dates = []
        for path in mails:
            with open(path, "rb") as f:
                m = self.parse(f.read())
            self.assertEqual(m["Subject"], "件名")
            self.assertEqual(m.get_content().replace("\r\n", "\n"), "本文です。\n")
            dates.append(m["Date"][-5:])
        self.assertEqual(sorted(dates), ["+0900", "-0500"])
        self.assertEqual(len(os.listdir(os.path.join(self.work, "outbox"))), 2)  # no leftovers

    def test_bytes_that_are_not_shift_jis(self):
        self.write_work("body.txt", sj("壊れた") + b"\xff" + sj("本文\r\n"))
        r = self.run_tarnmail([b"-fs@example.jp", b"-m", b"-Fbody.txt", b"a@example.jp", b"-d"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        self.assertIn(b"warning: the body file holds bytes that are not Shift_JIS", r.stdout)
        with open(self.outbox_mails()[0], "rb") as f:
            m = self.parse(f.read())
        self.assertEqual(m.get_content().replace("\r\n", "\n"), "壊れた\ufffd本文\n")

    def test_bad_input_gives_defined_codes(self):
        cases = [
            ([b"-fs@example.jp", b"-x", b"a@example.jp"], USAGE),
            ([b"-fs@example.jp"], USAGE),                          # no recipient
            ([b"a@example.jp"], USAGE),                            # no sender
            ([b"-fs@example.jp", b"not-an-address"], USAGE),
            ([b"-h", b"-fs@example.jp", b"a@example.jp"], USAGE),  # host of spaces
            ([b"-fs@example.jp", b"-m", b"a@example.jp"], USAGE),  # -m without -F
            ([b"-fs@example.jp", b"-m", b"-Fmissing.txt", b"a@example.jp"], UNREADABLE),
            ([b"-fs@example.jp", b"-a/no/such/file.pdf", b"a@example.jp"], UNREADABLE),
        ]
        for args, code in cases:
            with self.subTest(args=args):
                r = self.run_tarnmail(args)
                self.assertEqual(r.returncode, code, r.stderr)
                self.assertTrue(r.stderr)
        self.assertEqual(self.outbox_mails(), [])


if __name__ == "__main__":
    unittest.main()
