"""A customer list through tarnmerge, Tarnwick's check (/v), Tarnwick and
tarnmail in outbox mode: every mail decodes to the values of its row.
TARNMERGE, TARNWICK and TARNMAIL name the built executables."""

import csv
import email.policy
import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import unicodedata
import unittest

PROGRAMS = [os.environ[n] for n in ("TARNMERGE", "TARNWICK", "TARNMAIL")]
ENV = {k: v for k, v in os.environ.items() if k != "DISPLAY"} | {"QT_QPA_PLATFORM": "offscreen"}

ROWS = [  # code, to, name, subject, body
    ("A01", "tanaka@example.jp", "田中 太郎", '【ご案内】ｾﾐﾅｰ, "春"の部', "ﾃｽﾄ本文です。\n二行目、\"引用\""),
    ("A,02", "Suzuki@example.jp", "髙橋 ①", "①会場変更のお知らせ", "一行だけ"),
    ("A03", "w@example.jp", "Watanabe", "plain subject", "line 1\r\n\r\nline 3, after an empty one"),
]
TEMPLATE = "log.txt\n\n{to}\n\"事務局 <office@example.jp>\",reply@example.jp\n{subject}\n\n{name} 様\n{body}\n"


def widened(text):
    # Tarnwick widens half-width katakana and punctuation in subject and body.
    return re.sub("[\uff61-\uff9f]+", lambda m: unicodedata.normalize("NFKC", m.group()), text)


def csv_text():
    quote = lambda v: '"' + v.replace('"', '""') + '"' if re.search(r'[",\r\n]', v) else v
    return "".join(",".join(quote(v) for v in row) + "\r\n"
                   for row in [("code", "to", "name", "subject", "body")] + ROWS)


class ChainTest(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="tarnmerge-chain-"))
        self.addCleanup(shutil.rmtree, self.dir)
        for exe in PROGRAMS:
            shutil.copy(exe, self.dir)
        (self.dir / "Tarnwick.ini").write_bytes(b"[Mail]\r\nName=tarnmail\r\n")
        (self.dir / "tarnmail.ini").write_bytes(b"[SMTP]\r\nOutbox=1\r\n")
        (self.dir / "template.txt").write_text(TEMPLATE, encoding="utf-8")

    def run_in_folder(self, *args):
        return subprocess.run(list(args), cwd=self.dir, env=ENV, capture_output=True, timeout=120)

    def test_every_mail_decodes_to_its_row(self):
        for name, data in (("UTF-8 with a byte-order mark", b"\xef\xbb\xbf" + csv_text().encode()),
                           ("Shift_JIS", csv_text().encode("cp932"))):
            with self.subTest(name):
                shutil.rmtree(self.dir / "temp", ignore_errors=True)
                (self.dir / "temp").mkdir()
                (self.dir / "customers.csv").write_bytes(data)
                merge = self.run_in_folder("./tarnmerge", "--code", "code", "customers.csv", "template.txt", "batch")
                self.assertEqual(merge.returncode, 0, merge.stderr.decode())
                # /v: warnings only (① and 髙 go out in UTF-8).
                self.assertEqual(self.run_in_folder("./Tarnwick", "/P", "batch/jobs.txt", "/v").returncode, 2)
                self.assertEqual(self.run_in_folder("./Tarnwick", "/P", "batch/jobs.txt", "/i").returncode, 0)

                mails = [email.message_from_bytes(p.read_bytes(), policy=email.policy.default)
                         for p in (self.dir / "temp" / "outbox").glob("*.eml")]
                mails = {m["To"].addresses[0].addr_spec: m for m in mails}
                self.assertEqual(sorted(mails), sorted(row[1] for row in ROWS))
                with open(self.dir / "$mail_result.csv", encoding="cp932", newline="") as f:
                    self.assertEqual([fields[11] for fields in csv.reader(f)], [row[0] for row in ROWS])
                for code, to, who, subject, body in ROWS:
                    m = mails[to]
                    self.assertEqual(str(m["Subject"]), widened(subject))
                    self.assertEqual(m["From"].addresses[0].addr_spec, "office@example.jp")
                    self.assertEqual(m["Reply-To"].addresses[0].addr_spec, "reply@example.jp")
                    text = m.get_body(preferencelist=("plain",)).get_content().replace("\r\n", "\n")
                    self.assertEqual(text, widened(who + " 様\n" + body.replace("\r\n", "\n") + "\n"))
