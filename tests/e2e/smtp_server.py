"""A mail server for the e-mail scenario (Debian's aiosmtpd, so run with /usr/bin/python3): one loopback port, plain
with STARTTLS offered and required before a login, or TLS from the first byte. It takes a login only with the given
user and password (AUTH PLAIN and LOGIN), writes every accepted message to the output folder as N.eml with its
envelope in N.env, and prints "ready" once it listens; it runs until it is terminated.

    smtp_server.py PORT starttls|tls CERTIFICATE KEY USER PASSWORD OUTPUT"""

import signal
import ssl
import sys
from pathlib import Path

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Saver:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = self.folder / str(self.count)
        stem.with_suffix(".env").write_text("%s\n%s\n" % (envelope.mail_from, " ".join(envelope.rcpt_tos)))
        # Written last and renamed into place: a reader never sees half a message.
        partial = stem.with_suffix(".part")
        partial.write_bytes(envelope.original_content)
        partial.rename(stem.with_suffix(".eml"))
        return "250 2.0.0 Ok: queued as e2e-%d" % self.count


def main(port, mode, certificate, key, user, password, output):
    signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM, signal.SIGINT])
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(certificate, key)
    folder = Path(output)
    folder.mkdir(parents=True, exist_ok=True)

    def authenticate(server, session, envelope, mechanism, data):
        good = isinstance(data, LoginPassword) and data.login == user.encode() and data.password == password.encode()
        return AuthResult(success=good, handled=False)

    options = dict(hostname="127.0.0.1", port=int(port), authenticator=authenticate,
                   auth_exclude_mechanism=["CRAM-MD5"])
    if mode == "tls":
        # Encrypted from the first byte; this aiosmtpd counts only STARTTLS as encryption for its login rule.
        controller = Controller(Saver(folder), ssl_context=context, auth_require_tls=False, **options)
    else:
        controller = Controller(Saver(folder), tls_context=context, require_starttls=True, **options)
    controller.start()
    print("ready", flush=True)
    signal.sigwait([signal.SIGTERM, signal.SIGINT])
    controller.stop()


if __name__ == "__main__":
    main(*sys.argv[1:])
