"""End-to-end tests of tarnmail against a real SMTP server (aiosmtpd) on
127.0.0.1, and of its outbox mode. TARNMAIL names the built executable."""

import base64
import email
import email.policy
import glob
import logging
import os
import random
import re
import shutil
import socket
import ssl
import subprocess
import tempfile
import threading
import time
import unittest

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

from smtp_support import Recorder, free_port

TARNMAIL = os.environ.get("TARNMAIL", "")

# Exit codes documented in tools/tarnmail/README.md (sysexits).
SENT, USAGE, DATAERR, NOINPUT, NOHOST, UNAVAILABLE, UNKNOWN, CANTCREAT, TEMPFAIL, NOPERM, CONFIG = (
    0, 64, 65, 66, 68, 69, 71, 73, 75, 77, 78)


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

    def write_ini(self, text, name="tarnmail.ini"):
        path = os.path.join(self.dir, name)
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, 0o600)
        return path

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
            # Only a word that cannot be folded (a URL) may pass 78, never 998.
            self.assertLessEqual(len(line), 78 if " " in line.strip() else 998, line)
        # Part headers: within 78.
        for part in re.findall(rb"\r\n--=_tarnmail_\w+\r\n(.*?)\r\n\r\n", raw, re.S):
            for line in part.split(b"\r\n"):
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
        self.assertEqual(r.returncode, UNAVAILABLE, r.stdout)
        self.assertIn(b"550", r.stdout)
        self.assertIn(b"result: 69", r.stdout)
        # The operator reads the refused address and the server's words.
        self.assertIn(b"<nobody@example.jp> 550 5.1.1 no such user", r.stderr)
        self.recorder.refuse_rcpt = None
        self.recorder.data_reply = "451 4.3.0 try again later"
        r = self.run_tarnmail(base + [b"a@example.jp"])
        self.assertEqual(r.returncode, TEMPFAIL)
        self.assertIn(b"451 4.3.0 try again later", r.stderr)
        self.assertEqual(self.recorder.mails, [])

    def test_authentication(self):
        self.start_server(authenticator=only_password_secret, auth_required=True,
                          auth_require_tls=False)
        args = [b"-h127.0.0.1", b"-fs@example.jp", b"a@example.jp", b"-d"]
        # A login is never sent in the clear unless a key allows it.
        self.write_ini("[SMTP]\nPort=%d\nUser=u\nPassword=secret\n" % self.port)
        r = self.run_tarnmail(args)
        self.assertEqual(r.returncode, NOPERM, r.stdout)
        self.assertNotIn(b"AUTH PLAIN", r.stdout)
        self.assertIn(b"AuthWithoutTls", r.stderr)
        self.write_ini("[SMTP]\nPort=%d\nUser=u\nPassword=wrong\nTLS=starttls\nAuthWithoutTls=1\n" % self.port)
        r = self.run_tarnmail(args)
        self.assertEqual(r.returncode, NOPERM, r.stdout)
        self.assertIn(b"AUTH PLAIN (credentials hidden)", r.stdout)
        self.assertNotIn(b"AHUAd3Jvbmc", r.stdout)  # base64 of "\0u\0wrong"
        self.write_ini("[SMTP]\nPort=%d\nUser=u\nPassword=secret\nAuthWithoutTls=1\n" % self.port)
        r = self.run_tarnmail(args)
        self.assertEqual(r.returncode, SENT, r.stdout)
        self.assertEqual(len(self.recorder.mails), 1)

    def test_a_user_and_a_server_without_auth_is_an_authentication_error(self):
        self.start_server()  # offers no AUTH
        self.write_ini("[SMTP]\nPort=%d\nUser=u\nPassword=secret\nAuthWithoutTls=1\n" % self.port)
        r = self.run_tarnmail([b"-h127.0.0.1", b"-fs@example.jp", b"a@example.jp"])
        self.assertEqual(r.returncode, NOPERM, r.stderr)
        self.assertIn(b"offers no AUTH", r.stderr)
        self.assertEqual(self.recorder.mails, [])

    def test_tls(self):
        # A server without STARTTLS: "require" must not send in the clear.
        self.start_server()
        args = [b"-h127.0.0.1:%d" % self.port, b"-fs@example.jp", b"a@example.jp"]
        self.write_ini("[SMTP]\nTLS=required\n")
        self.assertEqual(self.run_tarnmail(args).returncode, CONFIG)
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
        self.write_ini("[SMTP]\nTLS=required\n")
        server_log = logging.getLogger("mail.log")
        server_log.disabled = True  # it would print the refused handshake
        try:
            self.assertEqual(self.run_tarnmail(args).returncode, CONFIG)
        finally:
            server_log.disabled = False
        self.write_ini("[SMTP]\nTLS=required\nVerifyCertificate=0\n")
        r = self.run_tarnmail(args + [b"-d"])
        self.assertEqual(r.returncode, SENT, r.stdout)
        self.assertIn(b"STARTTLS", r.stdout)
        self.assertEqual(len(self.recorder.mails), 1)
        # A private CA named in the settings is trusted, with the name checked.
        self.write_ini("[SMTP]\nTLS=required\nCAFile=cert.pem\n")
        r = self.run_tarnmail([b"-hlocalhost:%d" % self.port] + args[1:])
        self.assertEqual(r.returncode, SENT, r.stderr)

        # Implicit TLS on a port that is not 465, with the EHLO name of the settings.
        self.start_server(ssl_context=context)
        self.write_ini("[SMTP]\nTLS=implicit\nCAFile=cert.pem\nEhloName=client.example.jp\n")
        r = self.run_tarnmail([b"-hlocalhost:%d" % self.port] + args[1:] + [b"-d"])
        self.assertEqual(r.returncode, SENT, r.stdout + r.stderr)
        self.assertIn(b"EHLO client.example.jp", r.stdout)
        self.assertEqual(len(self.recorder.mails), 1)

    def test_server_down(self):
        port = free_port()  # nobody listens there
        self.write_ini("[SMTP]\nConnectTimeout=5\nTimeout=10\n")
        r = self.run_tarnmail([b"-h127.0.0.1:%d" % port, b"-fs@example.jp", b"a@example.jp"])
        self.assertEqual(r.returncode, TEMPFAIL, r.stderr)
        r = self.run_tarnmail([b"-hno-such-host.invalid", b"-fs@example.jp", b"a@example.jp"])
        self.assertEqual(r.returncode, NOHOST, r.stderr)

    def test_time_limits_hold_through_a_silent_server(self):
        # Silent from the start (no greeting), after DATA's 354, and after QUIT
        # once the mail is taken: none may keep tarnmail past its limits,
        # cleanup included.
        cases = [(None, TEMPFAIL, b""), ("354 go ahead", UNKNOWN, b"StallTimeout"), ("250 taken", SENT, b"")]
        for after_data, code, word in cases:
            with self.subTest(after_data=after_data):
                server = ScriptedServer(after_data)
                self.addCleanup(server.close)
                self.write_ini("[SMTP]\nTLS=off\nConnectTimeout=30\nStallTimeout=2\nTimeout=6\n")
                start = time.monotonic()
                r = self.run_tarnmail([b"-h127.0.0.1:%d" % server.port, b"-fs@example.jp", b"a@example.jp"])
                elapsed = time.monotonic() - start
                self.assertEqual(r.returncode, code, r.stderr)
                self.assertIn(word, r.stderr)
                self.assertLess(elapsed, 6 + 2, r.stderr)

    def test_failure_matrix(self):
        # Every 4xx is temporary (a 454 to STARTTLS too); after the end mark
        # the server may have the mail, so a lost answer is "unknown"; SIZE
        # refuses before MAIL; the log's reply= is the refusing reply.
        cases = [
            (dict(ehlo=["STARTTLS"], STARTTLS="454 4.7.0 TLS not available"), "TLS=required", TEMPFAIL, "454"),
            (dict(greeting="421 4.3.2 busy"), "", TEMPFAIL, "421"),
            (dict(MAIL="451 4.3.0 later"), "", TEMPFAIL, "451"),
            (dict(end="close"), "", UNKNOWN, "may have it"),
            (dict(end="554 5.7.1 spam"), "", UNAVAILABLE, "554"),
            (dict(ehlo=["SIZE 100"]), "", UNAVAILABLE, "at most 100 bytes"),
            (dict(ehlo=["PIPELINING"], RCPT="550 5.1.1 no such user"), "", UNAVAILABLE, "550 5.1.1"),
            (dict(ehlo=["PIPELINING", "SIZE 100000"]), "", SENT, ""),
        ]
        for script, ini, code, word in cases:
            with self.subTest(script=script):
                server = ScriptedServer("250 taken", **script)
                self.addCleanup(server.close)
                self.write_ini("[SMTP]\n%s\nStallTimeout=2\nTimeout=6\nLogFile=mail.log\n" % ini)
                r = self.run_tarnmail([b"-h127.0.0.1:%d" % server.port, b"-fs@example.jp", b"a@example.jp"])
                self.assertEqual(r.returncode, code, r.stderr)
                self.assertIn(word.encode(), r.stderr)
                if "SIZE 100" in script.get("ehlo", []):
                    self.assertNotIn("MAIL", server.commands)
                with open(os.path.join(self.dir, "mail.log")) as f:
                    line = f.readlines()[-1]
                if code not in (SENT, UNKNOWN) and "SIZE 100" not in script.get("ehlo", []):
                    self.assertIn('reply="' + word, line)

    # -- without a server -----------------------------------------------

    def outbox_mails(self):
        return sorted(glob.glob(os.path.join(self.work, "outbox", "*.eml")))

    def test_outbox_and_date_zone(self):
        self.write_ini("[SMTP]\nOutbox=1\n")
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
        # Each mail and its envelope, no leftovers.
        self.assertEqual(len(os.listdir(os.path.join(self.work, "outbox"))), 4)

    def test_outbox_records_the_envelope_beside_the_mail(self):
        self.write_ini("[SMTP]\nOutbox=1\n")
        r = self.run_tarnmail([b"-hmail.example.jp", b"-fs@example.jp", b"-nbounce@example.jp",
                               b"to@example.jp,CC:cc@example.jp,BCC:hidden@example.jp"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        [eml] = self.outbox_mails()
        with open(eml, "rb") as f:
            raw = f.read()
        self.assertNotIn(b"hidden@", raw)
        self.assertNotIn(b"Bcc", raw)
        with open(eml[:-4] + ".envelope") as f:
            envelope = f.read()
        self.assertIn("Server: mail.example.jp", envelope)
        self.assertIn("MAIL FROM:<bounce@example.jp>", envelope)
        for line in ("RCPT TO:<to@example.jp> To", "RCPT TO:<cc@example.jp> Cc", "RCPT TO:<hidden@example.jp> Bcc"):
            self.assertIn(line, envelope)

    def test_no_host_without_outbox_mode_is_a_configuration_error(self):
        args = [b"-fs@example.jp", b"a@example.jp"]
        r = self.run_tarnmail(args)
        self.assertEqual(r.returncode, CONFIG)
        self.assertIn(b"Outbox=1", r.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.work, "outbox")))
        # Host and sender may come from the settings instead.
        self.start_server()
        self.write_ini("[SMTP]\nHost=127.0.0.1\nPort=%d\nFrom=office@example.jp\n" % self.port)
        r = self.run_tarnmail([b"a@example.jp"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        self.assertEqual(self.recorder.mails[0][0], "office@example.jp")

    def test_bytes_that_are_not_shift_jis(self):
        self.write_ini("[SMTP]\nOutbox=1\n")
        self.write_work("body.txt", sj("壊れた") + b"\xff" + sj("本文\r\n"))
        r = self.run_tarnmail([b"-fs@example.jp", b"-m", b"-Fbody.txt", b"a@example.jp", b"-d"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        self.assertIn(b"warning: the body file holds bytes that are not Shift_JIS", r.stdout)
        with open(self.outbox_mails()[0], "rb") as f:
            m = self.parse(f.read())
        self.assertEqual(m.get_content().replace("\r\n", "\n"), "壊れた\ufffd本文\n")

    def test_bad_input_gives_defined_codes(self):
        self.write_ini("[SMTP]\nOutbox=1\n")
        os.mkdir(os.path.join(self.work, "folder"))
        os.mkfifo(os.path.join(self.work, "fifo"))
        cases = [
            ([b"-fs@example.jp", b"-x", b"a@example.jp"], USAGE),
            ([b"-fs@example.jp"], USAGE),                          # no recipient
            ([b"a@example.jp"], USAGE),                            # no sender
            ([b"-fs@example.jp", b"not-an-address"], DATAERR),
            ([b"-h", b"-fs@example.jp", b"a@example.jp"], USAGE),  # host of spaces
            ([b"-fs@example.jp", b"-m", b"a@example.jp"], USAGE),  # -m without -F
            ([b"-fs@example.jp", b"-m", b"-Fmissing.txt", b"a@example.jp"], NOINPUT),
            ([b"-fs@example.jp", b"-a/no/such/file.pdf", b"a@example.jp"], NOINPUT),
            # A folder would go out as an empty part, a FIFO would block for ever.
            ([b"-fs@example.jp", b"-m", b"-Ffolder", b"a@example.jp"], NOINPUT),
            ([b"-fs@example.jp", b"-afolder", b"a@example.jp"], NOINPUT),
            ([b"-fs@example.jp", b"-m", b"-Ffifo", b"a@example.jp"], NOINPUT),
            ([b"-fs@example.jp", b"-afifo", b"a@example.jp"], NOINPUT),
            # A line break in a header text would end the header or add one.
            ([b"-fName\r\nBcc: evil@example.jp <s@example.jp>", b"a@example.jp"], DATAERR),
            ([b"-fs@example.jp", b"-rName\nBcc: evil@example.jp <r@example.jp>", b"a@example.jp"], DATAERR),
            ([b"-fs@example.jp", b"To\r\nBcc: evil@example.jp <a@example.jp>"], DATAERR),
            ([b"-fs@example.jp", b"a@example.jp,CC:Cc\r\n\r\nbody <c@example.jp>"], DATAERR),
            ([b"-fs@example.jp", b"a@example.jp,x\r\n<evil@example.jp> <c@example.jp>"], DATAERR),
            ([b"-fs@example.jp", b"-sSubject\r\nBcc: evil@example.jp", b"a@example.jp"], DATAERR),
        ]
        for args, code in cases:
            with self.subTest(args=args):
                r = self.run_tarnmail(args)
                self.assertEqual(r.returncode, code, r.stderr)
                self.assertTrue(r.stderr)
        self.assertEqual(self.outbox_mails(), [])

    def test_encoded_words_stay_within_75_characters(self):
        self.write_ini("[SMTP]\nOutbox=1\n")
        url = "See https://example.jp/seminar/2026/registration/form?id=0123456789abcdef0123456789"
        # Tarnwick's /z writes the whole name as one word, however long.
        name = "セミナー事務局・東京本社・営業企画部・第二グループ・担当者一同"
        word = "=?ISO-2022-JP?B?" + base64.b64encode(name.encode("iso-2022-jp")).decode() + "?="
        self.assertGreater(len(word), 75)
        r = self.run_tarnmail([("-f" + word + " <s@example.jp>").encode(), ("-s" + url).encode(),
                               b"a@example.jp"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        with open(self.outbox_mails()[0], "rb") as f:
            raw = f.read()
        self.assert_well_formed_headers(raw)
        for w in re.findall(rb"=\?[^?]+\?[BbQq]\?[^?]*\?=", raw):
            self.assertLessEqual(len(w), 75, w)
        m = self.parse(raw)
        self.assertEqual(m["Subject"], url)
        # Python's address parser keeps the blank between two encoded words.
        self.assertEqual(m["From"].addresses[0].display_name.replace(" ", ""), name)

    def test_long_settings_headers_are_folded(self):
        # One word past 998 characters is encoded (and so folded); many words are folded at their blanks.
        long_word = "<https://example.jp/u?a={to_url}&p=" + "x" * 1100 + ">"
        many = " ".join("word%d" % i for i in range(250))
        self.write_ini("[SMTP]\nOutbox=1\n[Headers]\nX-Long=%s\nX-Many=%s\n" % (long_word, many))
        r = self.run_tarnmail([b"-fs@example.jp", b"a@example.jp"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        with open(self.outbox_mails()[0], "rb") as f:
            raw = f.read()
        self.assert_well_formed_headers(raw)
        m = self.parse(raw)
        self.assertEqual(str(m["X-Long"]), long_word.replace("{to_url}", "a%40example.jp"))
        self.assertEqual(str(m["X-Many"]), many)

    def test_random_texts_survive_the_round_trip(self):
        # Property: whatever the subject, display name and attachment name, a
        # mail reader gets them back unchanged, with every encoded word within
        # 75 characters and every foldable header line within 78.
        self.write_ini("[SMTP]\nOutbox=1\n")
        pool = (list("山田太郎事務局東京営業のお知らせ第回") + list("セミナーカタログ") + list("ｱｲｳｴｵｶﾞ") +
                list("①Ⅱ㈱髙﨑") + list("abcXYZ019-_.:/?=\"\\'()!") + [" "] * 6)
        rng = random.Random(int(os.environ.get("TARNMAIL_SEED", "14")))
        os.mkdir(os.path.join(self.work, "f"))
        for n in range(40):
            with self.subTest(case=n):
                def text(lo, hi):
                    t = "".join(rng.choice(pool) for _ in range(rng.randint(lo, hi)))
                    return t.strip() or "x"
                subject = text(1, 90) if n % 10 else "word" * rng.randint(250, 300)  # longer than a line
                name = " ".join(text(1, 30).replace('"', "").replace("\\", "").split()) or "x"
                file_name = text(1, 40).replace("/", "").replace(" ", "_").strip(".") or "f"
                file_name += rng.choice(["", ".docx", ".pptx", ".txt"])  # long types fold too
                self.write_work("f/" + file_name, b"data")
                shutil.rmtree(os.path.join(self.work, "outbox"), ignore_errors=True)
                r = self.run_tarnmail([sj("-f" + name + " <s@example.jp>"), sj("-s" + subject),
                                       sj("-af/" + file_name), b"a@example.jp"])
                self.assertEqual(r.returncode, SENT, r.stderr)
                with open(self.outbox_mails()[0], "rb") as f:
                    raw = f.read()
                self.assert_well_formed_headers(raw)
                m = self.parse(raw)
                self.assertEqual(str(m["Subject"]), subject)
                # Python's address parser keeps the blank between two encoded words.
                got = m["From"].addresses[0].display_name
                self.assertEqual(got.replace(" ", ""), name.replace(" ", ""))
                [part] = list(m.iter_attachments())
                self.assertEqual(part.get_filename(), file_name)
                self.assertEqual(part.get_payload(decode=True), b"data")

    @unittest.skipIf("ASAN_OPTIONS" in os.environ, "2 GiB under the sanitizers takes minutes and their memory is not tarnmail's")
    def test_a_large_attachment_is_encoded_as_it_is_written(self):
        big = os.path.join(self.work, "big.bin")
        with open(big, "wb") as f:
            f.truncate(2 << 30)  # 2 GiB, sparse
        self.addCleanup(shutil.rmtree, os.path.join(self.work, "outbox"), True)
        self.write_ini("[SMTP]\nOutbox=1\n")
        r = subprocess.run(["/usr/bin/time", "-f", "%M", self.exe, "-fs@example.jp", "-abig.bin", "a@example.jp"],
                           cwd=self.work, capture_output=True, timeout=600)
        self.assertEqual(r.returncode, SENT, r.stderr)
        self.assertLess(int(r.stderr.split()[-1]), 64 * 1024)  # KiB
        self.assertGreater(os.path.getsize(self.outbox_mails()[0]), (2 << 30) * 4 // 3)
        # A limit of the operator's own refuses it before anything is written.
        shutil.rmtree(os.path.join(self.work, "outbox"))
        self.write_ini("[SMTP]\nOutbox=1\nMaxMessageSize=1000000\n")
        r = self.run_tarnmail([b"-fs@example.jp", b"-abig.bin", b"a@example.jp"])
        self.assertEqual(r.returncode, UNAVAILABLE, r.stderr)
        self.assertIn(b"MaxMessageSize=1000000", r.stderr)
        self.assertEqual(self.outbox_mails(), [])

    @unittest.skipUnless(os.geteuid() == 0, "a second account needs root")
    def test_an_outbox_that_others_control_is_refused(self):
        # Another account shares the work folder, makes outbox/ first and
        # plants links where mails are written; tarnmail must use none of it.
        self.write_ini("[SMTP]\nOutbox=1\n")
        os.chmod(self.dir, 0o755)
        os.chmod(self.work, 0o1777)
        victim = os.path.join(self.dir, "secret.txt")
        with open(victim, "w") as f:
            f.write("mine")
        os.chmod(victim, 0o600)
        outbox = os.path.join(self.work, "outbox")

        def as_nobody():
            os.setgid(65534)
            os.setuid(65534)

        plant = ("import os\nos.mkdir('outbox', 0o777)\nos.chmod('outbox', 0o777)\n"
                 "for pid in range(300, 33000):\n    os.symlink(%r, 'outbox/.tarnmail-%%d.tmp' %% pid)\n" % victim)
        subprocess.run(["/usr/bin/python3", "-c", plant], cwd=self.work, preexec_fn=as_nobody, check=True)
        args = [b"-fs@example.jp", b"a@example.jp"]
        r = self.run_tarnmail(args)
        self.assertEqual(r.returncode, CANTCREAT, r.stderr)
        self.assertIn(os.path.realpath(outbox).encode(), r.stderr)
        # The user's own outbox, but others may write into it: refused too.
        shutil.rmtree(outbox)
        os.mkdir(outbox)
        os.chmod(outbox, 0o777)
        self.assertEqual(self.run_tarnmail(args).returncode, CANTCREAT)
        # A fresh one is the user's alone, and so is every file in it.
        shutil.rmtree(outbox)
        self.assertEqual(self.run_tarnmail(args).returncode, SENT)
        self.assertEqual(os.stat(outbox).st_mode & 0o777, 0o700)
        for name in os.listdir(outbox):
            self.assertEqual(os.stat(os.path.join(outbox, name)).st_mode & 0o777, 0o600, name)
        with open(victim) as f:
            self.assertEqual(f.read(), "mine")

    def test_attachment_names_in_both_forms(self):
        self.write_ini("[SMTP]\nOutbox=1\n")
        self.write_work("会場案内.txt", b"x")
        r = self.run_tarnmail([b"-fs@example.jp", sj("-a会場案内.txt"), b"a@example.jp"])
        self.assertEqual(r.returncode, SENT, r.stderr)
        with open(self.outbox_mails()[0], "rb") as f:
            raw = f.read().decode("ascii")
        self.assertRegex(raw, r'name="=\?[^"]+\?[Bb]\?')        # RFC 2047 in Content-Type
        self.assertIn("filename*=utf-8''%e4%bc%9a", raw.lower())  # RFC 2231 in Content-Disposition

    def test_settings(self):
        # --help and --version are answers, not usage errors.
        for flag in (b"--help", b"--version"):
            r = self.run_tarnmail([flag])
            self.assertEqual(r.returncode, SENT, r.stderr)
            self.assertTrue(r.stdout.startswith(b"usage: tarnmail" if flag == b"--help" else b"tarnmail "))
        args = [b"-fs@example.jp", b"a@example.jp"]
        # A settings file named on the command line; an unknown key is reported, not silent.
        other = self.write_ini("[SMTP]\nOutbox=1\nTimout=5\n", "other.ini")
        r = self.run_tarnmail([b"-c" + other.encode()] + args)
        self.assertEqual(r.returncode, SENT, r.stderr)
        self.assertIn(b"unknown key Timout", r.stderr)
        self.assertEqual(self.run_tarnmail([b"-c/no/such.ini"] + args).returncode, CONFIG)
        # Bad values, and a password that other users can read, are refused.
        for text in ("[SMTP]\nOutbox=1\nTLS=maybe\n", "[SMTP]\nOutbox=1\nTimeout=soon\n"):
            self.write_ini(text)
            self.assertEqual(self.run_tarnmail(args).returncode, CONFIG, text)
        path = self.write_ini("[SMTP]\nOutbox=1\nUser=u\nPassword=secret\n")
        os.chmod(path, 0o644)
        r = self.run_tarnmail(args)
        self.assertEqual(r.returncode, CONFIG)
        self.assertIn(b"chmod 600", r.stderr)
        # Headers of the settings that cannot go out as written are refused.
        for text in ("[Headers]\nX-U=<https://e.jp/?t={token}>\n", "[Headers]\nSubject=x\n",
                     "[Headers]\nX-U={tok}\n", "[Headers]\nX-U=a\x0bb\n", "[Headers]\nX U=a\n"):
            self.write_ini("[SMTP]\nOutbox=1\n" + text)
            r = self.run_tarnmail(args)
            self.assertEqual(r.returncode, CONFIG, text)
            self.assertIn(b"X" if "X" in text else b"Subject", r.stderr)
        # The profile rules: first key wins; a comment after a value is part of it, and said so.
        self.write_ini("[SMTP]\nOutbox=1\nOutbox=0\nFrom=f@example.jp ; note\n")
        r = self.run_tarnmail([b"a@example.jp"])
        self.assertEqual(r.returncode, DATAERR)
        self.assertIn(b"comments belong on a line of their own", r.stderr)

    def test_log_file_holds_one_line_per_mail(self):
        self.start_server()
        self.recorder.refuse_rcpt = "nobody@example.jp"
        self.write_ini("[SMTP]\nPort=%d\nLogFile=mail.log\n" % self.port)
        base = [b"-h127.0.0.1", b"-fs@example.jp"]
        self.assertEqual(self.run_tarnmail(base + [b"a@example.jp,BCC:b@example.jp"]).returncode, SENT)
        self.assertEqual(self.run_tarnmail(base + [b"nobody@example.jp"]).returncode, UNAVAILABLE)
        with open(os.path.join(self.dir, "mail.log")) as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 2)
        self.assertIn("from=<s@example.jp> to=<a@example.jp>,<b@example.jp> result=0 sent", lines[0])
        self.assertIn('reply="250', lines[0])
        self.assertIn("to=<nobody@example.jp> result=69 permanent refusal", lines[1])
        self.assertIn("550 5.1.1 no such user", lines[1])


class ScriptedServer:
    """A loopback SMTP server that answers as `script` says: "greeting" and a
    command's first word map to a reply, "ehlo" to more EHLO lines, "end" to
    what follows the message's end mark (a reply, "silent" or "close");
    `after_data` alone is that end. With None it never even greets. With
    PIPELINING offered it answers MAIL, RCPT and DATA only once DATA came,
    so a client that waited for each reply would stall."""

    def __init__(self, after_data, **script):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(1)
        self.port = self.sock.getsockname()[1]
        self.after_data = after_data
        self.script = script
        self.commands = []
        self.done = threading.Event()
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        conn, _ = self.sock.accept()
        with conn:
            f = conn.makefile("rb")
            if self.after_data is None:
                self.done.wait(30)
                return
            conn.sendall(self.script.get("greeting", "220 test").encode() + b"\r\n")
            ehlo = self.script.get("ehlo", [])
            held = []
            in_data = False
            for line in f:
                if in_data:
                    if line == b".\r\n":
                        in_data = False
                        end = self.script.get("end", self.after_data)
                        if end == "close":
                            break
                        if not end.startswith("354") and end != "silent":
                            conn.sendall(end.encode() + b"\r\n")
                    continue
                cmd = line.split()[0].upper().decode() if line.split() else ""
                self.commands.append(cmd)
                reply = self.script.get(cmd, "250 OK").encode() + b"\r\n"
                if cmd == "EHLO":
                    reply = b"".join(b"250-" + c.encode() + b"\r\n" for c in ["test"] + ehlo) + b"250 8BITMIME\r\n"
                elif cmd == "DATA":
                    reply = self.script.get(cmd, "354 go ahead").encode() + b"\r\n"
                    in_data = reply.startswith(b"354")
                elif cmd == "QUIT":
                    continue  # never answered
                if "PIPELINING" in ehlo and cmd in ("MAIL", "RCPT"):
                    held.append(reply)
                    continue
                conn.sendall(b"".join(held) + reply)
                held = []
            self.done.wait(30)

    def close(self):
        self.done.set()
        self.sock.close()


if __name__ == "__main__":
    unittest.main()
