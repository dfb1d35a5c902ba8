"""A customer list through tarnmerge, Tarnwick's check (/v), Tarnwick and
tarnmail in outbox mode: every mail decodes to the values of its row.
TARNMERGE, TARNWICK and TARNMAIL name the built executables."""

import csv
import email
import email.policy
import glob
import io
import os
import re
import shutil
import subprocess
import tempfile
import unicodedata
import unittest

PROGRAMS = [os.environ.get(n, "") for n in ("TARNMERGE", "TARNWICK", "TARNMAIL")]

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
        if not all(os.path.exists(p) for p in PROGRAMS):
            self.skipTest("TARNMERGE, TARNWICK and TARNMAIL must name the built programs")
        self.dir = tempfile.mkdtemp(prefix="tarnmerge-chain-")
        self.addCleanup(shutil.rmtree, self.dir)
        for exe in PROGRAMS:
            shutil.copy(exe, self.dir)
        os.mkdir(os.path.join(self.dir, "temp"))
        self.write("Tarnwick.ini", b"[Mail]\r\nName=tarnmail\r\n")
        self.write("tarnmail.ini", b"[SMTP]\r\nOutbox=1\r\n")
        self.write("template.txt", TEMPLATE.encode())

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

    def run_in_folder(self, *args):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        env.pop("DISPLAY", None)
        return subprocess.run(list(args), cwd=self.dir, env=env, capture_output=True, timeout=120)

    def test_every_mail_decodes_to_its_row(self):
        for name, data in (("UTF-8 with a byte-order mark", b"\xef\xbb\xbf" + csv_text().encode()),
                           ("Shift_JIS", csv_text().encode("cp932"))):
            with self.subTest(name):
                shutil.rmtree(os.path.join(self.dir, "temp"))
                os.mkdir(os.path.join(self.dir, "temp"))
                self.write("customers.csv", data)
                merge = self.run_in_folder("./tarnmerge", "--code", "code", "customers.csv", "template.txt", "batch")
                self.assertEqual(merge.returncode, 0, merge.stderr.decode())
                # /v: warnings only (① and 髙 go out in UTF-8).
                self.assertEqual(self.run_in_folder("./Tarnwick", "/P", "batch/jobs.txt", "/v").returncode, 2)
                self.assertEqual(self.run_in_folder("./Tarnwick", "/P", "batch/jobs.txt", "/i").returncode, 0)

                mails = {}
                for path in glob.glob(os.path.join(self.dir, "temp", "outbox", "*.eml")):
                    with open(path, "rb") as f:
                        m = email.message_from_bytes(f.read(), policy=email.policy.default)
                    mails[m["To"].addresses[0].addr_spec] = m
                self.assertEqual(sorted(mails), sorted(row[1] for row in ROWS))
                with open(os.path.join(self.dir, "$mail_result.csv"), "rb") as f:
                    codes = [fields[11] for fields in csv.reader(io.StringIO(f.read().decode("cp932"), newline=""))]
                self.assertEqual(codes, [row[0] for row in ROWS])
                for code, to, who, subject, body in ROWS:
                    m = mails[to]
                    self.assertEqual(str(m["Subject"]), widened(subject))
                    self.assertEqual(m["From"].addresses[0].addr_spec, "office@example.jp")
                    self.assertEqual(m["Reply-To"].addresses[0].addr_spec, "reply@example.jp")
                    text = m.get_body(preferencelist=("plain",)).get_content().replace("\r\n", "\n")
                    expected = widened(who + " 様\n" + body.replace("\r\n", "\n") + "\n")
                    self.assertEqual(text, expected)


if __name__ == "__main__":
    unittest.main()
