"""What the SMTP tests share: a free loopback port and a server handler that
keeps every mail it accepts."""

import socket


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Recorder:
    """Keeps every mail; can refuse one recipient or every mail."""

    def __init__(self):
        self.mails = []
        self.refuse_rcpt = None
        self.data_reply = "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address == self.refuse_rcpt:
            return "550 5.1.1 no such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.data_reply.startswith("250"):
            self.mails.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.content))
        return self.data_reply
