"""The TLS channel over Wine's SChannel, driven by tls-probe.exe from a non-blocking socket loop as the program's
network workers drive it, against small TLS servers on loopback ports of their own.

A test certificate authority, made with openssl in the scenario's folder, is added to the system's trust store for
the scenario's length (Wine's crypt32 reads the host's store) and removed afterwards, also when a check fails. Its
certificate for localhost and 127.0.0.1 is accepted by name and by address: the handshake, the server's greeting
arriving with its last handshake message, 40 000 bytes each way (records beyond the probe's 4 kB reads, and beyond
the largest record size), and the server's close_notify as a clean close; a STARTTLS-like upgrade after plain-text
lines works the same. Refused, each with its reason: a self-signed certificate (untrusted), one for another name
(by name and by address), an expired one, and a server that speaks only TLS 1.3 (handshake). A server that accepts
the connection and never answers is ended by the probe's deadline; one that answers with plain text, or with a
record header announcing 64 kB, is a protocol failure at once. Once the authority is removed, its certificate is
no longer trusted."""

import fcntl
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
from contextlib import contextmanager
from pathlib import Path

from harness import CheckFailed, Scenario, log, run_wine

TRUST_FOLDER = Path("/usr/local/share/ca-certificates")
TRUST_PREFIX = "hx350-e2e-tls-"
TRUST_LOCK = Path("/tmp/hx350-ca-certificates.lock")  # the two slots, and other checkouts, change one store
GREETING = b"hello from the test server\r\n"
ECHO_SIZE = 40000  # tls-probe's line

# tls-probe's exit codes: 10 + the TlsFailure, 30 a deadline passed.
OK, UNTRUSTED, NAME, EXPIRED, HANDSHAKE, PROTOCOL, TIMEOUT = 0, 11, 12, 13, 15, 16, 30


def openssl(folder, *args):
    subprocess.run(["openssl"] + list(args), cwd=folder, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, timeout=60)


# One authority's configuration: `openssl ca` is the one command that also sets a validity period in the past.
LEAF = "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName="
CA_CONFIG = ("[ca]\ndefault_ca=test\n[test]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\ndefault_md=sha256\n"
             "policy=any\nunique_subject=no\n[any]\ncommonName=supplied\n[localhost]\n" + LEAF +
             "DNS:localhost,IP:127.0.0.1\n[other]\n" + LEAF + "DNS:other.example,IP:192.0.2.7\n")


def make_certificates(folder):
    """ca.crt; with one server key, from the authority: localhost.crt, expired.crt (for localhost) and other.crt
    (another name and address); self.crt self-signed for localhost."""
    (folder / "ca.cnf").write_text(CA_CONFIG)
    (folder / "index.txt").write_text("")
    (folder / "serial").write_text("10\n")
    openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt", "-days",
            "2", "-subj", "/CN=HX350 e2e authority %d" % os.getpid(), "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl(folder, "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
            "-subj", "/CN=localhost")
    for name, section, period in (("localhost", "localhost", ["-days", "2"]), ("other", "other", ["-days", "2"]),
                                  ("expired", "localhost", ["-startdate", "20200101000000Z", "-enddate",
                                                            "20200201000000Z"])):
        openssl(folder, "ca", "-batch", "-config", "ca.cnf", "-cert", "ca.crt", "-keyfile", "ca.key", "-in",
                "server.csr", "-out", name + ".crt", "-extensions", section, "-notext", *period)
    openssl(folder, "req", "-x509", "-key", "server.key", "-out", "self.crt", "-days", "2", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1")


def update_trust_store(*args):
    with open(TRUST_LOCK, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        subprocess.run(["update-ca-certificates"] + list(args), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)


@contextmanager
def trusted_authority(certificate, slot):
    """The authority in the system's trust store while the block runs; named by slot and process, so that the two
    slots never meet. Files left by a run that was killed are removed first."""
    if os.geteuid() != 0:
        raise CheckFailed("the trust store can be changed by root only")
    for stale in TRUST_FOLDER.glob(TRUST_PREFIX + "*.crt"):
        if not Path("/proc", stale.stem.rsplit("-", 1)[-1]).exists():
            stale.unlink()
    installed = TRUST_FOLDER / ("%s%d-%d.crt" % (TRUST_PREFIX, slot, os.getpid()))
    installed.write_bytes(certificate.read_bytes())
    try:
        update_trust_store()
        log("trusted %s" % installed.name)
        yield
    finally:
        installed.unlink()
        update_trust_store("--fresh")
        log("removed %s" % installed.name)


class TestServer:
    """A loopback server on a free port, one connection at a time, in a thread. Modes: "tls" (the certificate's
    handshake, greeting, echo of one line, close_notify), "starttls" (two plain lines first), "silent" (never
    answers), "garbage" and "huge" (answers the ClientHello with bytes that are not TLS). What it saw goes to
    `notes`."""

    def __init__(self, folder, mode, certificate=None, tls13_only=False):
        self.mode, self.notes, self.stopping, self.connection = mode, [], False, None
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        if certificate:
            self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.context.load_cert_chain(folder / certificate, folder / "server.key")
            if tls13_only:
                self.context.minimum_version = ssl.TLSVersion.TLSv1_3
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while not self.stopping:
            try:
                self.connection, _ = self.listener.accept()
            except OSError:
                return
            with self.connection as connection:
                connection.settimeout(20)
                try:
                    self.handle(connection)
                except (OSError, ssl.SSLError) as error:
                    self.notes.append("%s: %s" % (type(error).__name__, error))

    def handle(self, connection):
        if self.mode == "starttls":
            connection.sendall(b"220 plain text first\r\n")
            if connection.recv(10, socket.MSG_WAITALL) != b"STARTTLS\r\n":  # no byte of the handshake taken
                return
            connection.sendall(b"220 go ahead\r\n")
        if self.mode in ("tls", "starttls"):
            return self.tls(connection)
        if self.mode in ("garbage", "huge"):
            connection.recv(65536)
            connection.sendall(b"220 not a TLS server\r\n" if self.mode == "garbage" else
                               b"\x16\x03\x03\xff\xff" + bytes(100))
        while connection.recv(65536):  # held open until the probe leaves
            pass

    def tls(self, connection):
        """Through memory buffers, so that this side decides what goes out in one piece."""
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        tls = self.context.wrap_bio(incoming, outgoing, server_side=True)

        def flush():
            if outgoing.pending:
                connection.sendall(outgoing.read())

        def complete(operation):
            while True:
                try:
                    return operation()
                except ssl.SSLWantReadError:
                    flush()
                    data = connection.recv(65536)
                    if not data and incoming.eof:
                        raise ConnectionError("the client left")
                    incoming.write(data) if data else incoming.write_eof()

        try:
            complete(tls.do_handshake)
        except ssl.SSLError as error:
            flush()  # the alert
            self.notes.append("handshake refused: %s" % error.reason)
            return
        # The last handshake message and the greeting leave in one piece: the client finds the greeting in the
        # bytes that finish its handshake.
        tls.write(GREETING)
        flush()
        line = b""
        while not line.endswith(b"\n"):
            piece = complete(lambda: tls.read(65536))
            if not piece:
                return
            line += piece
        tls.write(line)
        flush()
        try:
            complete(tls.unwrap)
            self.notes.append("client close_notify")
        except ssl.SSLError as error:
            self.notes.append("no client close_notify (%s)" % type(error).__name__)

    def stop(self):
        self.stopping = True
        for sock in (self.listener, self.connection):
            try:
                sock and sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        self.listener.close()
        self.thread.join(10)


def body(s, t):
    probe_exe = s.config.mingw / "tests" / "win" / "tls-probe.exe"
    started = time.monotonic()
    make_certificates(s.folder)
    log("certificates made in %.1f s" % (time.monotonic() - started))

    def probe(host, port, *options):
        started = time.monotonic()
        code, lines, err = run_wine(s.env, [probe_exe, host, port] + list(options), timeout=60)
        log("  tls-probe %s %s %s -> %d in %.1f s: %s%s" % (host, port, " ".join(options), code,
                                                            time.monotonic() - started, " | ".join(lines),
                                                            (" | stderr: " + err.strip()) if err.strip() else ""))
        return code, lines, time.monotonic() - started

    servers = {}
    try:
        for name, mode, certificate in (("trusted", "tls", "localhost.crt"), ("starttls", "starttls", "localhost.crt"),
                                        ("self", "tls", "self.crt"), ("other", "tls", "other.crt"),
                                        ("expired", "tls", "expired.crt"), ("tls13", "tls", "localhost.crt"),
                                        ("silent", "silent", None), ("garbage", "garbage", None),
                                        ("huge", "huge", None)):
            servers[name] = TestServer(s.folder, mode, certificate, tls13_only=name == "tls13")

        with trusted_authority(s.folder / "ca.crt", s.config.slot):
            t.step("a trusted server, by name and by address: handshake, greeting, %d bytes each way, close"
                   % ECHO_SIZE)
            for host in ("localhost", "127.0.0.1"):
                code, lines, _ = probe(host, servers["trusted"].port)
                t.equal(code, OK, "%s: the whole dialogue" % host)
                t.equal([line for line in lines if line.split(" ")[0] in ("handshake", "greeting", "echo")],
                        ["handshake TLS 1.2", "greeting " + GREETING.decode().strip(), "echo %d" % ECHO_SIZE],
                        "%s: protocol, greeting and echo" % host)
                t.expect("server-close close_notify" in lines, "%s: the server's close_notify is a clean close" % host,
                         lines)

            t.equal(servers["trusted"].notes, ["client close_notify"] * 2, "the server had the probe's close_notify")

            t.step("an upgrade after plain-text lines (STARTTLS)")
            code, lines, _ = probe("127.0.0.1", servers["starttls"].port, "--starttls")
            t.equal(code, OK, "the upgraded dialogue")
            t.expect("plain 220 plain text first" in lines and "go-ahead 220 go ahead" in lines,
                     "the plain lines came before the handshake", lines)

            t.step("refused, each with its reason")
            for server, host, expected, word in (("self", "localhost", UNTRUSTED, "untrusted"),
                                                 ("other", "localhost", NAME, "name"),
                                                 ("other", "127.0.0.1", NAME, "name"),
                                                 ("expired", "localhost", EXPIRED, "expired"),
                                                 ("tls13", "localhost", HANDSHAKE, "handshake"),
                                                 ("garbage", "localhost", PROTOCOL, "protocol"),
                                                 ("huge", "localhost", PROTOCOL, "protocol")):
                code, lines, _ = probe(host, servers[server].port)
                t.equal((code, lines[-1].split(" ")[:3] if lines else None),
                        (expected, ["outcome", "tls", word]), "%s by %s: %s" % (server, host, word))

            t.step("a server that never answers: the probe's deadline ends the handshake")
            code, lines, took = probe("localhost", servers["silent"].port, "--deadline", "1500")
            t.equal((code, lines[-1:]), (TIMEOUT, ["outcome timeout handshake"]), "the handshake's deadline")
            t.expect(took < 15, "ended within its deadline and Wine's start", took)

        t.step("without the authority in the store, its certificate is not trusted")
        code, lines, _ = probe("localhost", servers["trusted"].port)
        t.equal(code, UNTRUSTED, "untrusted once the authority is removed")
    finally:
        for name, server in servers.items():
            server.stop()
            if server.notes:
                log("server %s: %s" % (name, "; ".join(server.notes)))


if __name__ == "__main__":
    sys.exit(Scenario("tls", with_simulator=False, autostart=False, deadline=100).run(body))
