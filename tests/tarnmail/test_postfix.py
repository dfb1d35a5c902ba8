"""Tarnwick and tarnmail against Debian's Postfix on loopback (see
postfix_support.py): a Japanese mail with attachments arrives in the Maildir
and decodes right; recipients Postfix refuses with 4xx and 5xx give the
temporary and the permanent code, and the result file and tarnmail's log
file record them. TARNWICK and TARNMAIL name the built programs."""

import base64
import email
import email.policy
import hashlib
import hmac
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from email.header import decode_header, make_header

from postfix_support import DOMAIN, PERMANENT, TEMPORARY, LocalPostfix

TARNWICK = os.environ.get("TARNWICK", "")
TARNMAIL = os.environ.get("TARNMAIL", "")
EX_UNAVAILABLE, EX_TEMPFAIL = 69, 75


def rfc2047_text(msg, name):
    """A header as RFC 2047 decodes it (no blank between two encoded words)."""
    raw = [v for k, v in msg.raw_items() if k == name][0]
    return str(make_header(decode_header(re.sub(r"\r?\n[ \t]", " ", raw))))


def windows_text(lines):
    return "".join(line + "\r\n" for line in lines).encode("cp932")


class TarnwickThroughPostfixTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.environ.get("TARNMAIL_POSTFIX_NS") != "1":
            raise unittest.SkipTest("needs root and Postfix (run through run_postfix_tests.sh)")
        if not (os.path.exists(TARNWICK) and os.path.exists(TARNMAIL)):
            raise unittest.SkipTest("TARNWICK and TARNMAIL must name the built programs")
        cls.base = tempfile.mkdtemp(prefix="tarnmail-postfix-")
        try:
            cls.postfix = LocalPostfix(cls.base)
        except Exception:
            shutil.rmtree(cls.base)
            raise

    @classmethod
    def tearDownClass(cls):
        cls.postfix.stop()
        shutil.rmtree(cls.base)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwick-postfix-")
        self.addCleanup(shutil.rmtree, self.dir)
        for exe in (TARNWICK, TARNMAIL):
            shutil.copy(exe, self.dir)
        os.mkdir(os.path.join(self.dir, "temp"))
        os.mkdir(os.path.join(self.dir, "mails"))
        self.write("Tarnwick.ini", b"[Mail]\r\nName=tarnmail\r\n")
        self.write("tarnmail.ini", b"[SMTP]\r\nHost=127.0.0.1\r\nPort=%d\r\nTimeout=30\r\nLogFile=mail.log\r\n"
                   % self.postfix.port)

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

    def run_tarnwick(self):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        env.pop("DISPLAY", None)
        return subprocess.run(["./Tarnwick", "/P", "jobs.txt", "/i", "/z"], cwd=self.dir, env=env,
                              capture_output=True, timeout=120).returncode

    def results(self):
        with open(os.path.join(self.dir, "$mail_result.csv"), "rb") as f:
            return [line.split(",") for line in f.read().decode("cp932").split("\r\n") if line]

    def test_a_japanese_mail_with_attachments_arrives_and_decodes(self):
        pdf = bytes(range(256)) * 64
        self.write("案内.pdf", pdf)
        self.write("名簿.csv", "氏名,会社\r\n山田,タ～ン商事\r\n".encode("cp932"))
        self.write("cc.txt", windows_text(["高橋 <cc@%s>" % DOMAIN]))
        self.write("bcc.txt", windows_text(["hidden@" + DOMAIN]))
        self.write("mails/m1.txt", windows_text([
            "log.txt", "", "山田 太郎 <to@%s>,>#cc cc.txt,>#bcc bcc.txt" % DOMAIN,
            '"セミナー事務局 <office@%s>",reply@%s' % (DOMAIN, DOMAIN),
            "【ご案内】ｾﾐﾅｰ開催のお知らせ ①", "案内.pdf,名簿.csv",
            "山田様", "", "ﾃｽﾄ本文です。～よろしく～"]))
        self.write("jobs.txt", windows_text(["mails/m1.txt,A01"]))

        self.assertEqual(self.run_tarnwick(), 0, self.postfix.log_text())
        mails = self.postfix.delivered(3)  # one delivery per recipient, BCC included
        delivered_to = sorted(email.message_from_bytes(m)["Delivered-To"] for m in mails)
        self.assertEqual(delivered_to, sorted(a + "@" + DOMAIN for a in ("to", "cc", "hidden")))
        msg = email.message_from_bytes(mails[0], policy=email.policy.default)
        self.assertNotIn(b"hidden@", mails[0].split(b"\n\n", 1)[0].replace(b"Delivered-To: hidden@", b""))
        self.assertEqual(str(msg["Subject"]), "【ご案内】セミナー開催のお知らせ ①")
        self.assertEqual(msg["From"].addresses[0].display_name.replace(" ", ""), "セミナー事務局")
        self.assertEqual(msg["To"].addresses[0].display_name, "山田 太郎")
        self.assertEqual(msg["Cc"].addresses[0].display_name, "高橋")
        body = msg.get_body(preferencelist=("plain",))
        self.assertEqual(body.get_content_charset(), "iso-2022-jp")
        self.assertEqual(body.get_content().replace("\r\n", "\n"), "山田様\n\nテスト本文です。〜よろしく〜\n")
        parts = list(msg.iter_attachments())
        self.assertEqual([p.get_filename() for p in parts], ["案内.pdf", "名簿.csv"])
        self.assertEqual(parts[0].get_payload(decode=True), pdf)
        self.assertEqual(parts[1].get_payload(decode=True), "氏名,会社\r\n山田,タ～ン商事\r\n".encode("cp932"))
        self.assertEqual(parts[1].get_content_charset(), "shift_jis")
        self.assertEqual(self.results()[0][3:5], ["0", "送信完了"])

    def test_refusals_give_the_temporary_and_the_permanent_code(self):
        self.write("mails/busy.txt", windows_text(["log.txt", "", TEMPORARY, "f@" + DOMAIN, "一時", "", "本文"]))
        self.write("mails/gone.txt", windows_text(["log.txt", "", PERMANENT, "f@" + DOMAIN, "恒久", "", "本文"]))
        self.write("jobs.txt", windows_text(["mails/busy.txt,B01", "mails/gone.txt,B02"]))
        self.assertEqual(self.run_tarnwick(), EX_UNAVAILABLE)
        rows = self.results()
        self.assertEqual([r[3:5] for r in rows], [[str(EX_TEMPFAIL), "送信異常"], [str(EX_UNAVAILABLE), "送信異常"]])
        # Tarnwick keeps no mailer output in normal mode; tarnmail's log says why.
        with open(os.path.join(self.dir, "mail.log")) as f:
            log = f.read().splitlines()
        self.assertEqual(len(log), 2)
        self.assertIn("to=<%s> result=75 temporary failure" % TEMPORARY, log[0])
        self.assertIn("450 4.2.1", log[0])
        self.assertIn("mailbox busy", log[0])
        self.assertIn("to=<%s> result=69 permanent refusal" % PERMANENT, log[1])
        self.assertIn("550 5.1.1", log[1])

    def test_sender_names_outside_jis_and_the_headers_of_the_settings_arrive(self):
        names = ["①受付", "㈱タ－ン商事", "髙橋 一郎",
                 "株式会社タ～ン商事 東京本社 営業部 第一課 セミナー事務局 ㈱ 担当 山田太郎 ① 髙"]
        self.write("tarnmail.ini", b"[SMTP]\r\nHost=127.0.0.1\r\nPort=%d\r\nTimeout=30\r\n[Headers]\r\n"
                   b"List-Unsubscribe=<https://example.jp/u?a={to_url}&t={token}>, "
                   b"<mailto:unsub@example.jp?subject=unsubscribe>\r\n"
                   b"List-Unsubscribe-Post=List-Unsubscribe=One-Click\r\n[Token]\r\nSecret=change-me\r\n"
                   % self.postfix.port)
        os.chmod(os.path.join(self.dir, "tarnmail.ini"), 0o600)
        jobs = []
        for i, name in enumerate(names):
            self.write("mails/z%d.txt" % i, windows_text(
                ["log.txt", "", "Z%d.User+x@%s" % (i, DOMAIN), '"%s <office@%s>"' % (name, DOMAIN), "件名", "",
                 "本文"]))
            jobs.append("mails/z%d.txt,Z%d" % (i, i))
        self.write("jobs.txt", windows_text(jobs))
        new = os.path.join(self.postfix.maildir, "box", "new")
        before = len(os.listdir(new)) if os.path.isdir(new) else 0
        self.assertEqual(self.run_tarnwick(), 0, self.postfix.log_text())
        mails = [email.message_from_bytes(m, policy=email.policy.default)
                 for m in self.postfix.delivered(before + len(names))]
        by_to = {str(m["To"]): m for m in mails}
        for i, name in enumerate(names):
            to = "Z%d.User+x@%s" % (i, DOMAIN)
            msg = by_to[to]
            # Python's address parser keeps the blank between two encoded
            # words of a name (RFC 2047 drops it); its RFC 2047 decoder reads
            # the long name, the address parser the short ones.
            if i < 3:
                self.assertEqual(msg["From"].addresses[0].display_name, name)
            self.assertEqual(rfc2047_text(msg, "From"), "%s <office@%s>" % (name, DOMAIN))
            token = base64.urlsafe_b64encode(hmac.new(b"change-me", to.lower().encode(), hashlib.sha256).digest())
            self.assertEqual(str(msg["List-Unsubscribe"]),
                             "<https://example.jp/u?a=Z%d.User%%2Bx%%40%s&t=%s>, "
                             "<mailto:unsub@example.jp?subject=unsubscribe>" % (i, DOMAIN, token.rstrip(b"=").decode()))
            self.assertEqual(str(msg["List-Unsubscribe-Post"]), "List-Unsubscribe=One-Click")


if __name__ == "__main__":
    unittest.main()
