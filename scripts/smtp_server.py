#!/usr/bin/python3
"""A small SMTP server on loopback for the demo and the mail tests.

It accepts AUTH LOGIN (and PLAIN) for one account, optionally offers STARTTLS
with a given certificate, and keeps every mail it accepts in a Maildir. Next
to the Maildir, "decoded/N.json" holds each mail's envelope and its content
as Python's email package reads it (policy=default, the strict reader), with
the defects that reader found and the addresses it parsed, so tests can
compare what arrived.

The account's password comes from the environment variable
SMTP_SERVER_PASSWORD, never from the command line, where every local user
could read it.

Prints "smtp-server listening on HOST:PORT" once it accepts connections and
runs until it is terminated.
"""
import argparse
import base64
import email
import email.policy
import json
import mailbox
import os
import signal
import socket
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

# The prompts of AUTH LOGIN as mail servers commonly word them.
SMTP.AuthLoginUsernameChallenge = "Username:"
SMTP.AuthLoginPasswordChallenge = "Password:"


ADDRESS_HEADERS = ("From", "To", "Cc", "Reply-To")


def header_defects(msg):
    """Every defect the strict reader found, as "where: DefectName"."""
    found = ["message: %s" % type(d).__name__ for d in msg.defects]
    for name, value in msg.items():
        found += ["%s: %s" % (name, type(d).__name__) for d in getattr(value, "defects", ())]
    for part in msg.walk():
        if part is not msg:
            found += ["part: %s" % type(d).__name__ for d in part.defects]
    return found


def parsed_addresses(msg):
    """Each address header as [[display name, address], ...]."""
    out = {}
    for name in ADDRESS_HEADERS:
        value = msg.get(name)
        if value is not None:
            out[name] = [[a.display_name, a.addr_spec] for a in value.addresses]
    return out


def decoded_parts(msg):
    parts = []
    for part in msg.walk():
        if part.is_multipart():
            continue
        entry = {
            "content_type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "filename": part.get_filename(),
            "transfer_encoding": part.get("Content-Transfer-Encoding"),
        }
        if part.get_content_maintype() == "text":
            entry["text"] = part.get_content()
        else:
            entry["base64"] = base64.b64encode(part.get_payload(decode=True) or b"").decode()
        parts.append(entry)
    return parts


class Keeper:
    def __init__(self, maildir, refuse_rcpt_domain, refuse_sender, refuse_rcpt_reply):
        self.maildir = mailbox.Maildir(maildir, create=True)
        self.decoded = os.path.join(maildir, "decoded")
        os.makedirs(self.decoded, exist_ok=True)
        self.count = 0
        self.lock = threading.Lock()
        self.refuse_rcpt_domain = refuse_rcpt_domain
        self.refuse_sender = refuse_sender
        # Lines of the refusal, which may be many: "550-...", ..., "550 ...".
        self.refuse_rcpt_reply = "\r\n".join(refuse_rcpt_reply.split("\n"))

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.refuse_sender and address == self.refuse_sender:
            return "553 5.7.1 Sender address rejected"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.refuse_rcpt_domain and address.endswith("@" + self.refuse_rcpt_domain):
            return self.refuse_rcpt_reply
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        content = envelope.content
        msg = email.message_from_bytes(content, policy=email.policy.default)
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "raw": content.decode("latin-1"),
            "headers": {k: str(v) for k, v in msg.items()},
            "defects": header_defects(msg),
            "addresses": parsed_addresses(msg),
            "parts": decoded_parts(msg),
            "encrypted": session.ssl is not None,
            "authenticated": bool(session.authenticated),
        }
        with self.lock:
            self.maildir.add(content)
            self.count += 1
            path = os.path.join(self.decoded, "%d.json" % self.count)
            with open(path + ".tmp", "w", encoding="utf-8") as f:
                json.dump(record, f, ensure_ascii=False, indent=1)
            os.replace(path + ".tmp", path)
        return "250 Message accepted for delivery"


def free_port(host):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=0, help="0 picks a free port")
    ap.add_argument("--maildir", required=True)
    ap.add_argument("--user", required=True)
    ap.add_argument("--tls-cert")
    ap.add_argument("--tls-key")
    ap.add_argument("--refuse-rcpt-domain")
    ap.add_argument("--refuse-sender")
    ap.add_argument("--refuse-rcpt-reply", default="550 5.1.1 Mailbox unavailable",
                    help="the reply to a refused recipient; a newline separates the lines of a multi-line reply")
    args = ap.parse_args()
    args.password = os.environ.get("SMTP_SERVER_PASSWORD")
    if args.password is None:
        ap.error("set SMTP_SERVER_PASSWORD to the account's password")

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == args.user.encode()
              and auth_data.password == args.password.encode())
        # Not handled: aiosmtpd answers a refusal with its own 535.
        return AuthResult(success=ok, handled=False)

    tls_context = None
    if args.tls_cert:
        tls_context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls_context.load_cert_chain(args.tls_cert, args.tls_key)

    keeper = Keeper(args.maildir, args.refuse_rcpt_domain, args.refuse_sender, args.refuse_rcpt_reply)
    port = args.port or free_port(args.host)
    controller = Controller(keeper, hostname=args.host, port=port, server_hostname="mail.quillora.test",
                            authenticator=authenticator, auth_require_tls=False,
                            tls_context=tls_context, require_starttls=False)
    controller.start()
    print("smtp-server listening on %s:%d" % (args.host, port), flush=True)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *a: stop.set())
    signal.signal(signal.SIGINT, lambda *a: stop.set())
    stop.wait()
    controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
