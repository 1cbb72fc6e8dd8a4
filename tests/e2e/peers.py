"""Network peers of the end-to-end scenarios, all on loopback ports of their own: a real MQTT broker (Debian's
mosquitto) with a password file, a subscriber that writes down what it hears (mosquitto_sub), and listeners that
accept a connection and then never answer or only send garbage."""

import json
import os
import socket
import subprocess
import threading
import time

from harness import CheckFailed, stop_process, wait_until


def free_port():
    """A loopback port nobody listens on now (the OS's pick, so two scenarios never share one)."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_listening(port, timeout=10):
    def accepts():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            return False

    wait_until(accepts, timeout, "a listener on port %d" % port)


class Mosquitto:
    """A broker of the scenario's own, with users and their passwords (anyone may connect when there are none); its
    persistence folder keeps persistent sessions and their queued messages over a stop and a start, as a real
    server's restart does."""

    def __init__(self, folder, users, tls_listeners=()):
        """tls_listeners: [(certificate, key)], each a TLS listener of its own; their ports in tls_ports."""
        self.folder = folder
        self.folder.mkdir(parents=True, exist_ok=True)
        self.port = free_port()
        passwords = folder / "passwords"
        passwords.unlink(missing_ok=True)
        for user, password in users.items():
            subprocess.run(["mosquitto_passwd", "-b"] + (["-c"] if not passwords.exists() else []) +
                           [str(passwords), user, password], check=True, capture_output=True)
        login = "allow_anonymous false\npassword_file %s\n" % passwords if users else "allow_anonymous true\n"
        # Run as root, the broker would switch to the user "mosquitto", who cannot write our folder.
        run_as = "user root\n" if os.geteuid() == 0 else ""
        self.config = folder / "mosquitto.conf"
        self.tls_ports = [free_port() for _ in tls_listeners]
        tls = "".join("listener %d 127.0.0.1\ncertfile %s\nkeyfile %s\n" % (port, certificate, key)
                      for port, (certificate, key) in zip(self.tls_ports, tls_listeners))
        self.config.write_text("%spersistence true\npersistence_location %s/\n%slog_dest file %s\n"
                               "listener %d 127.0.0.1\n%s"
                               % (login, folder, run_as, folder / "mosquitto.log", self.port, tls))
        self.process = None
        self.start()

    def start(self):
        self.process = subprocess.Popen(["mosquitto", "-c", str(self.config)], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        for port in [self.port] + self.tls_ports:
            wait_listening(port)

    def stop(self):
        """As a server stops: its sessions are saved first (SIGTERM)."""
        stop_process(self.process)

    def publish(self, user, password, topic, payload, retain=False):
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-u", user, "-P", password, "-q",
                        "1", "-t", topic, "-m", payload] + (["-r"] if retain else []), check=True, timeout=30,
                       capture_output=True)


class Subscriber:
    """mosquitto_sub on every topic with a persistent session (QoS 1): it reconnects by itself after a broker's
    restart and gets what was queued for it meanwhile, once."""

    def __init__(self, broker, user, password, name="watcher"):
        self.path = broker.folder / (name + ".out")
        self.out = open(self.path, "wb")
        self.process = subprocess.Popen(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-u", user, "-P", password, "-i", name,
             "-c", "-q", "1", "-F", "%t\t%r\t%p", "-t", "#"],
            stdout=self.out, stderr=subprocess.DEVNULL, start_new_session=True)

    def messages(self, topic=None):
        """[(topic, retained, payload)] in the order heard."""
        heard = []
        for line in self.path.read_bytes().decode("utf-8", "replace").split("\n"):
            parts = line.split("\t", 2)
            if len(parts) == 3 and (topic is None or parts[0] == topic):
                heard.append((parts[0], parts[1] == "1", parts[2]))
        return heard

    def payloads(self, topic):
        return [payload for _, _, payload in self.messages(topic)]

    def wait(self, topic, predicate, timeout, what, after=0):
        """Waits for a message of `topic`, past the first `after` of them, whose payload satisfies predicate;
        returns the payload (JSON payloads parsed)."""

        def found():
            for payload in self.payloads(topic)[after:]:
                value = parse(payload)
                if predicate(value):
                    return [value]
            return None

        return wait_until(found, timeout, what, interval=0.3)[0]

    def stop(self):
        stop_process(self.process)
        self.out.close()


def parse(payload):
    try:
        return json.loads(payload)
    except ValueError:
        return payload


class StubListener:
    """A listener that accepts connections and then says nothing ("silent") or only garbage ("garbage"), as a
    wrong service or a broken broker would."""

    def __init__(self, mode):
        self.mode, self.accepted = mode, 0
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(8)
        self.port = self.server.getsockname()[1]
        self.connections = []
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except OSError:
                return
            self.accepted += 1
            self.connections.append(connection)
            if self.mode == "garbage":
                try:
                    connection.sendall(bytes(range(256)) * 64)
                except OSError:
                    pass

    def stop(self):
        self.server.close()
        for connection in self.connections:
            connection.close()


def require_program(name):
    if subprocess.run(["which", name], capture_output=True).returncode != 0:
        raise CheckFailed("%s is not installed (tools/setup.sh installs it)" % name)
