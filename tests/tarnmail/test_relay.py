"""The relay that scripts/relay-setup.sh writes, run as written behind Tarnwick and tarnmail, with a
stand-in for the next hop that records every transaction. Runs through run_relay_tests.sh."""

import email
import hashlib
import os
import pathlib
import re
import shutil
import smtplib
import subprocess
import tempfile
import time
import unittest

import dkim
from aiosmtpd.controller import Controller

HERE = os.path.dirname(os.path.abspath(__file__))
DOMAIN, SELECTOR, NEXT_HOP = "tarnwick.test", "t1", 2525
BUSY = "busy@example.net"  # the next hop answers 451 the first time


class NextHop:
    def __init__(self):
        self.done, self.refused = [], 0

    async def handle_MAIL(self, server, session, envelope, address, options):
        envelope.mail_from = address
        envelope.mail_at = time.monotonic()
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, options):
        if address == BUSY and not self.refused:
            self.refused += 1
            return "451 4.3.0 try again later"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.done.append((envelope.mail_at, session.peer, list(envelope.rcpt_tos), envelope.content))
        return "250 OK"


def snapshot(root):
    files = [pathlib.Path(d, n) for d, _, names in os.walk(root) for n in names]
    return {f: (f.stat().st_mode, f.stat().st_uid, f.stat().st_mtime, hashlib.sha256(f.read_bytes()).digest()) for f in files}


def sjis_file(path, lines):
    pathlib.Path(path).write_bytes("".join(line + "\r\n" for line in lines).encode("cp932"))


class RelayTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.environ.get("TARNWICK_RELAY_NS") != "1":
            raise unittest.SkipTest("needs root, Postfix and OpenDKIM (run through run_relay_tests.sh)")
        cls.base = tempfile.mkdtemp(prefix="tarnwick-relay-")
        root = cls.base + "/root"
        setup = ["sh", HERE + "/../../scripts/relay-setup.sh", "--domain", DOMAIN, "--selector", SELECTOR,
                 "--networks", "127.0.0.1", "--hostname", "relay." + DOMAIN,
                 "--next-hop", "[127.0.0.1]:%d" % NEXT_HOP, "--root", root]
        cls.printed = subprocess.run(setup, check=True, capture_output=True, text=True).stdout
        cls.first = snapshot(root)
        subprocess.run(setup, check=True, capture_output=True)
        cls.second = snapshot(root)
        for where, what in (("etc/postfix", "/etc/postfix"), ("etc/dkimkeys", "/etc/dkimkeys"),
                            ("etc/opendkim.conf", "/etc/opendkim.conf"), ("spool", "/var/spool/postfix"),
                            ("lib", "/var/lib/postfix"), ("log", "/var/log"), ("run", "/run/opendkim")):
            os.path.isfile(os.path.join(root, where)) or os.makedirs(os.path.join(root, where), exist_ok=True)
            os.path.exists(what) or os.makedirs(what)  # /run/opendkim is gone after a reboot
            subprocess.run(["mount", "--bind", os.path.join(root, where), what], check=True)
        shutil.chown("/var/lib/postfix", "postfix")
        shutil.chown("/run/opendkim", "opendkim")
        cls.next_hop = NextHop()
        cls.controller = Controller(cls.next_hop, hostname="127.0.0.1", port=NEXT_HOP)
        cls.controller.start()
        subprocess.run(["opendkim"], check=True)
        subprocess.run(["postfix", "start"], check=True)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["postfix", "stop"])
        subprocess.run(["sh", "-c", "kill $(cat /run/opendkim/opendkim.pid)"])
        cls.controller.stop()
        shutil.rmtree(cls.base)

    def test_setup_twice_leaves_the_same_configuration(self):
        self.assertEqual(self.first, self.second)
        self.assertIn('_dmarc.%s. TXT "v=DMARC1' % DOMAIN, self.printed)

    def test_a_batch_leaves_signed_paced_and_retried(self):
        work = tempfile.mkdtemp(dir=self.base)
        for exe in (os.environ["TARNWICK"], os.environ["TARNMAIL"]):
            shutil.copy(exe, work)
        os.mkdir(work + "/temp")
        pathlib.Path(work, "Tarnwick.ini").write_text("[Mail]\nName=tarnmail\n")
        pathlib.Path(work, "tarnmail.ini").write_text(
            "[SMTP]\nHost=127.0.0.1\nPort=587\nTLS=off\n[Headers]\nList-Unsubscribe=<https://example.jp/u?a={to_url}&t="
            "{token}>, <mailto:unsub@example.jp?subject=unsubscribe>\nList-Unsubscribe-Post=List-Unsubscribe=One-Click\n"
            "[Token]\nSecret=change-me\n")
        os.chmod(work + "/tarnmail.ini", 0o600)  # it holds a secret
        docomo = ["d%03d@docomo.ne.jp" % i for i in range(110)]
        to = [",".join(docomo), "a@ezweb.ne.jp", "s@i.softbank.jp", "g@gmail.com", "r@example.net", BUSY]
        for i, rcpt in enumerate(to):
            sjis_file("%s/m%d.txt" % (work, i), ["log.txt", "", rcpt, "office@" + DOMAIN, "ご案内 %d" % i, "", "本文です。"])
        sjis_file(work + "/jobs.txt", ["m%d.txt,A%d" % (i, i) for i in range(len(to))])
        run = subprocess.run(["./Tarnwick", "/P", "jobs.txt", "/i"], cwd=work, timeout=120)
        self.assertEqual(run.returncode, 0)
        with open(work + "/$mail_result.csv", encoding="cp932") as f:
            self.assertEqual([line.split(",")[3] for line in f.read().splitlines()], ["0"] * len(to))
        # Submitted from an address not given: refused. Without Date and Message-ID: they are added.
        with smtplib.SMTP("127.0.0.1", 587, source_address=("127.0.0.3", 0)) as s:
            self.assertRaises(smtplib.SMTPRecipientsRefused, s.sendmail, "x@" + DOMAIN, "r@example.net", b"\r\n")
        with smtplib.SMTP("127.0.0.1", 587) as s:
            s.sendmail("x@" + DOMAIN, "bare@example.net", b"From: x@%s\r\nSubject: bare\r\n\r\nbody\r\n" % DOMAIN.encode())
        self.wait_for(lambda: len(self.arrived()) >= 110 + 5 and self.next_hop.refused)
        self.assertNotIn(BUSY, self.arrived())  # deferred; the next queue run delivers it
        subprocess.run(["postqueue", "-f"], check=True)
        self.wait_for(lambda: BUSY in self.arrived())

        record = re.search(r'_domainkey\.%s\. TXT "([^"]+)"' % re.escape(DOMAIN), self.printed).group(1).encode()
        for _, _, rcpts, content in self.next_hop.done:
            msg = email.message_from_bytes(content)
            sig = msg["DKIM-Signature"]
            self.assertTrue(dkim.verify(content, dnsfunc=lambda name, timeout=5: record), rcpts)
            self.assertIn("message-id", sig.lower(), rcpts)
            self.assertIsNotNone(msg["Date"], rcpts)
            if msg["List-Unsubscribe"]:  # tarnmail's [Headers]
                signed = re.sub(r"\s+", "", re.search(r"(?:^|;)\s*h=([^;]+)", sig).group(1).lower()).split(":")
                self.assertTrue({"list-unsubscribe", "list-unsubscribe-post"} <= set(signed), signed)
        docomo_done = [(t, peer, len(r)) for t, peer, r, _ in self.next_hop.done if r[0].endswith("@docomo.ne.jp")]
        self.assertEqual(sum(n for _, _, n in docomo_done), 110)
        delay = float(subprocess.check_output(["postconf", "-h", "smtp-docomo_destination_rate_delay"], text=True).strip("s\n"))
        # The relay spaces the starts; a delivery's start-up (a new session) adds a few tenths.
        times = [t for t, _, _ in docomo_done]
        self.assertGreater(times[-1] - times[0], (len(times) - 1) * max(delay, 1) * 0.7, times)
        sessions = {p: sum(n for _, q, n in docomo_done if q == p) for _, p, _ in docomo_done}
        self.assertLessEqual(max(sessions.values()), 100, sessions)
        self.assertLess(len(sessions), len(docomo_done), "no session was reused")

    def arrived(self):
        return [r for _, _, rcpts, _ in self.next_hop.done for r in rcpts]

    def wait_for(self, condition, seconds=60):
        deadline = time.monotonic() + seconds
        while not condition():
            if time.monotonic() > deadline:
                self.fail("timed out; relay log:\n" + pathlib.Path("/var/log/postfix.log").read_text()[-6000:])
            time.sleep(0.1)
