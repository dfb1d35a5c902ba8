"""A Postfix of the test's own: configuration, queue, log and a Maildir in a
temporary folder, one smtpd on a loopback port, the domain tarnwick.test
delivered into one Maildir, and an access table that answers some recipients
with 4xx and 5xx. Runs only inside the private mount namespace that
run_postfix_tests.sh opens (/etc/postfix is bound to the test's folder there,
since `postfix` takes its configuration directory from there)."""

import os
import pwd
import shutil
import socket
import subprocess
import time

from smtp_support import free_port

DOMAIN = "tarnwick.test"
TEMPORARY = "busy@" + DOMAIN   # answered 450
PERMANENT = "gone@" + DOMAIN   # answered 550

MASTER_CF = """\
127.0.0.1:{port} inet n - n - - smtpd
pickup    unix  n - n 60 1 pickup
cleanup   unix  n - n -  0 cleanup
qmgr      unix  n - n 300 1 qmgr
rewrite   unix  - - n -  - trivial-rewrite
bounce    unix  - - n -  0 bounce
defer     unix  - - n -  0 bounce
trace     unix  - - n -  0 bounce
verify    unix  - - n -  1 verify
flush     unix  n - n 1000? 0 flush
proxymap  unix  - - n -  - proxymap
showq     unix  n - n -  - showq
error     unix  - - n -  - error
retry     unix  - - n -  - error
discard   unix  - - n -  - discard
virtual   unix  - n n -  - virtual
anvil     unix  - - n -  1 anvil
scache    unix  - - n -  1 scache
postlog   unix-dgram n - n - 1 postlogd
tlsmgr    unix  - - n 1000? 1 tlsmgr
"""

MAIN_CF = """\
compatibility_level = 3.6
queue_directory = {base}/queue
data_directory = {base}/data
maillog_file_prefixes = {base}/log
maillog_file = {base}/log/postfix.log
myhostname = mx.{domain}
mydomain = {domain}
mydestination =
local_recipient_maps =
alias_maps =
alias_database =
relayhost =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
default_transport = error:the tests send nothing outside
relay_transport = error:the tests send nothing outside
virtual_mailbox_domains = {domain}
virtual_mailbox_base = {base}/maildir
virtual_mailbox_maps = static:box/
virtual_uid_maps = static:{uid}
virtual_gid_maps = static:{gid}
smtpd_recipient_restrictions = check_recipient_access texthash:{base}/etc/access, permit_mynetworks, reject
smtpd_banner = $myhostname ESMTP
biff = no
"""


class LocalPostfix:
    def __init__(self, base, tls=False):
        """With `tls`, smtpd offers STARTTLS with a certificate for 127.0.0.1,
        whose file `self.cert` names."""
        if os.environ.get("TARNMAIL_POSTFIX_NS") != "1":
            raise RuntimeError("run through run_postfix_tests.sh")
        self.base = base
        self.port = free_port()
        os.chmod(base, 0o755)  # postfix's own user must reach its queue
        etc = os.path.join(base, "etc")
        shutil.copytree("/etc/postfix", etc, symlinks=True)
        nobody = pwd.getpwnam("nobody")
        with open(os.path.join(etc, "main.cf"), "w") as f:
            f.write(MAIN_CF.format(base=base, domain=DOMAIN, uid=nobody.pw_uid, gid=nobody.pw_gid))
            if tls:
                self.cert, key = os.path.join(etc, "cert.pem"), os.path.join(etc, "key.pem")
                subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                "-keyout", key, "-out", self.cert, "-subj", "/CN=127.0.0.1",
                                "-addext", "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
                f.write("smtpd_tls_cert_file = %s\nsmtpd_tls_key_file = %s\nsmtpd_tls_security_level = may\n"
                        % (self.cert, key))
        with open(os.path.join(etc, "master.cf"), "w") as f:
            f.write(MASTER_CF.format(port=self.port))
        with open(os.path.join(etc, "access"), "w") as f:
            f.write("%s 450 4.2.1 mailbox busy, try later\n%s 550 5.1.1 no such user here\n" % (TEMPORARY, PERMANENT))
        for d in ("queue", "data", "log"):
            os.mkdir(os.path.join(base, d))
        owner = pwd.getpwnam("postfix")
        os.chown(os.path.join(base, "data"), owner.pw_uid, owner.pw_gid)
        self.maildir = os.path.join(base, "maildir")
        os.mkdir(self.maildir)
        os.chown(self.maildir, nobody.pw_uid, nobody.pw_gid)
        subprocess.run(["mount", "--bind", etc, "/etc/postfix"], check=True)
        self.log = os.path.join(base, "log", "postfix.log")
        # postfix prints nothing when it fails: its log file says why.
        r = subprocess.run(["postfix", "start"], capture_output=True, text=True)
        if r.returncode != 0 or not self.wait_for_port(30):
            self.stop()
            raise RuntimeError("postfix did not start (%d): %s %s\n%s" % (r.returncode, r.stdout, r.stderr,
                                                                          self.log_text()))

    def wait_for_port(self, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return True
            except OSError:
                time.sleep(0.05)
        return False

    def log_text(self):
        try:
            with open(self.log) as f:
                return f.read()
        except OSError:
            return "(no log)"

    def delivered(self, count, seconds=30):
        """The raw mails in the Maildir once `count` have arrived."""
        new = os.path.join(self.maildir, "box", "new")
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            names = sorted(os.listdir(new)) if os.path.isdir(new) else []
            if len(names) >= count:
                mails = []
                for n in names:
                    with open(os.path.join(new, n), "rb") as f:
                        mails.append(f.read())
                return mails
            time.sleep(0.05)
        raise AssertionError("%d mails expected in the Maildir\n%s" % (count, self.log_text()))

    def stop(self):
        pid = None
        try:
            with open(os.path.join(self.base, "queue", "pid", "master.pid")) as f:
                pid = int(f.read().strip())
        except (OSError, ValueError):
            pass
        subprocess.run(["postfix", "stop"], capture_output=True)
        deadline = time.monotonic() + 30
        while pid and os.path.exists("/proc/%d" % pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        subprocess.run(["umount", "/etc/postfix"], capture_output=True)
