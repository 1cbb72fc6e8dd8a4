"""E-mail notifications against real mail servers (Debian's aiosmtpd, each on a loopback port of this scenario's own)
whose certificates come from a test authority that the system trusts for the scenario's length.

The password typed into Ustawienia → Powiadomienia e-mail switches the notifications on over STARTTLS, and the
settings file keeps it encrypted. The temperature goes above its limit: the start arrives with the station, the alarm
and both values in its subject and body, and so does a reminder a minute later. Meanwhile, the dialog's test
message shows what each server answered: a wrong password is refused with the server's words, a self-signed
certificate with its reason, a server that accepts the connection and never answers costs a timeout while the window
keeps answering, and TLS from the first byte delivers. The acknowledgement and the end follow as messages, and every
message sent is a line of the alarm event file."""

import email
import email.policy
import re
import subprocess
import sys
import time
from pathlib import Path

from harness import OK_4660, CheckFailed, Scenario, settings_file, stop_process, wait_until
from peers import StubListener, free_port
from test_tls import make_certificates, trusted_authority

CMD_MAIL, CMD_ACKNOWLEDGE = 32802, 32800
TITLE = "Powiadomienia e-mail"
ENABLED, SERVER_PORT, SECURITY, PASSWORD_FIELD, TEST = 1180, 1182, 1183, 1185, 1193
USER, PASSWORD = "hx", "tajne hasło"
STATION = "stacja-e2e"
SENDER, RECIPIENTS = "hx350@firma.test", ["dyzurny@firma.test", "kierownik@firma.test"]
EVENT_FILE = "zdarzenia.csv"
SERVER_SCRIPT = Path(__file__).with_name("smtp_server.py")
ALARM = "temperatura powyżej 25.0 °C od "


class MailServer:
    """smtp_server.py on a free port: "starttls" or "tls", with the given certificate."""

    def __init__(self, folder, mode, certificate, key):
        self.port, self.folder = free_port(), folder
        self.process = subprocess.Popen(["/usr/bin/python3", str(SERVER_SCRIPT), str(self.port), mode, str(certificate),
                                         str(key), USER, PASSWORD, str(folder)], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, start_new_session=True, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise CheckFailed("the %s mail server did not start" % mode)

    def messages(self):
        """[(envelope lines, parsed message)] in the order received."""
        found = []
        for path in sorted(self.folder.glob("*.eml"), key=lambda p: int(p.stem)):
            envelope = path.with_suffix(".env").read_text().splitlines()
            found.append((envelope, email.message_from_bytes(path.read_bytes(), policy=email.policy.default)))
        return found

    def wait_subject(self, pattern, what, timeout=30):
        def found():
            for envelope, message in self.messages():
                if re.fullmatch(pattern, str(message["Subject"])):
                    return envelope, message
            return None

        return wait_until(found, timeout, what, interval=0.5)

    def stop(self):
        stop_process(self.process)


def sections(port):
    alarm = ("[ALARM]\r\nENABLED=1\r\nTEMP_LOW=\r\nTEMP_HIGH=25.0\r\nRH_LOW=\r\nRH_HIGH=\r\nDELAY=2\r\nHYSTERESIS=0.5\r\n"
             "LINK_MINUTES=0\r\nSOUND=0\r\nACTION=\r\nEVENT_FILE=%s\r\nBACKGROUND_ALARM=255\r\nTEXT_ALARM=16777215\r\n"
             % EVENT_FILE)
    mqtt = "[MQTT]\r\nENABLED=0\r\nSTATION=%s\r\n" % STATION
    mail = ("[MAIL]\r\nENABLED=0\r\nSERVER=localhost\r\nPORT=%d\r\nSECURITY=STARTTLS\r\nUSER=%s\r\nPASSWORD=\r\n"
            "FROM=%s\r\nTO=%s\r\nREMINDER_MINUTES=1\r\n" % (port, USER, SENDER, ", ".join(RECIPIENTS)))
    return (alarm + mqtt + mail).encode("cp1250")


def test_message(s, security, port, password=PASSWORD, timeout=30):
    """The dialog's test message with the given security, port and password; the box's text, once answered."""
    s.win("dialog-select", TITLE, str(SECURITY), security)
    s.win("dialog-set-text", TITLE, str(SERVER_PORT), str(port))
    s.win("dialog-set-text", TITLE, str(PASSWORD_FIELD), password)
    s.win("dialog-press", TITLE, str(TEST))
    text = s.message_box(timeout=timeout).get("text", "")
    s.win("message-box", "--press", "1")
    wait_until(lambda: s.control(TITLE, str(TEST)).get("enabled") == "1", 10, "the test button back")
    return text


def check_message(t, envelope, message, subject_start, lines):
    t.equal(envelope, [SENDER, " ".join(RECIPIENTS)], "%s: the envelope" % subject_start)
    t.equal((message["From"], message["To"]), ("HX350 %s <%s>" % (STATION, SENDER), ", ".join(RECIPIENTS)),
            "%s: From and To" % subject_start)
    body = message.get_content()
    t.check(all(line in body.splitlines() for line in lines), "%s: the body's lines" % subject_start, body)
    sent = email.utils.parsedate_to_datetime(message["Date"]).timestamp()
    t.expect(abs(sent - time.time()) < 120, "%s: dated now" % subject_start, message["Date"])


def body(s, t):
    certificates = s.folder / "certificates"
    certificates.mkdir()
    make_certificates(certificates)
    key = certificates / "server.key"
    servers = {}
    silent = StubListener("silent")
    try:
        for name, mode, certificate in (("starttls", "starttls", "localhost.crt"), ("tls", "tls", "localhost.crt"),
                                        ("self", "tls", "self.crt")):
            servers[name] = MailServer(s.folder / ("mail-" + name), mode, certificates / certificate, key)
        with trusted_authority(certificates / "ca.crt", s.config.slot):
            s.ini_path.write_bytes(settings_file(PORT_NR=7, SHOW_ADV=0, FILE_SEP_FORMAT=2) +
                                   sections(servers["starttls"].port))
            s.start_program()
            run(s, t, servers, silent)
    finally:
        silent.stop()
        for server in servers.values():
            server.stop()


def run(s, t, servers, silent):
    t.step("the password typed into the dialog switches the notifications on; kept encrypted")
    s.wait_texts(timeout=20, status=OK_4660, temperature="23.4 °C")
    s.command(CMD_MAIL)
    s.dialog(TITLE)
    s.win("dialog-click", TITLE, str(ENABLED))
    s.win("dialog-set-text", TITLE, str(PASSWORD_FIELD), PASSWORD)
    s.screenshot("dialog")
    s.win("dialog-press", TITLE, "1")
    s.wait_no_dialog()
    starttls = servers["starttls"]

    t.step("above the limit: the start arrives over STARTTLS, with the alarm and both values")
    s.sim.send("temp 26.0")
    envelope, start = starttls.wait_subject(r"HX350 %s: ALARM %s\d\d:\d\d" % (STATION, ALARM), "the start message")
    started = time.monotonic()
    check_message(t, envelope, start, "start", ["HX350, stacja %s: początek alarmu." % STATION,
                                                "Temperatura: 26.0 °C", "Wilgotność: 45.6 %"])

    t.step("meanwhile the dialog's test message: the server's words, the certificate's reason, a timeout, TLS")
    s.command(CMD_MAIL)
    s.dialog(TITLE)
    said = test_message(s, "STARTTLS", starttls.port, password="złe hasło")
    t.check(said.startswith("Nie można wysłać wiadomości próbnej: ") and "535" in said, "a wrong password", said)
    said = test_message(s, "TLS", servers["self"].port)
    t.check("certyfikat serwera nie pochodzi od zaufanego wystawcy" in said, "a self-signed certificate", said)
    asked = time.monotonic()
    s.win("dialog-select", TITLE, str(SECURITY), "STARTTLS")
    s.win("dialog-set-text", TITLE, str(SERVER_PORT), str(silent.port))
    s.win("dialog-press", TITLE, str(TEST))
    wait_until(lambda: silent.accepted > 0, 20, "the silent server reached")
    t.equal(s.texts().get("temperature"), "26.0 °C", "the window answers while the test waits")
    said = s.message_box(timeout=40).get("text", "")
    s.win("message-box", "--press", "1")
    t.check("nie odpowiada" in said and time.monotonic() - asked < 40, "a server that never answers", said)
    wait_until(lambda: s.control(TITLE, str(TEST)).get("enabled") == "1", 10, "the test button back")
    said = test_message(s, "TLS", servers["tls"].port)
    t.check(said.startswith("Wiadomość próbna została wysłana. Serwer odpowiedział: 250"), "sent over TLS", said)
    _, test = servers["tls"].wait_subject(r"HX350 %s: wiadomość próbna" % STATION, "the test message")
    t.passed("the test message arrived")
    s.screenshot("dialog-tested")
    s.win("dialog-press", TITLE, "2")
    s.wait_no_dialog()

    t.step("a minute after the start a reminder, then the acknowledgement and the end; each in the event file")
    starttls.wait_subject(r"HX350 %s: przypomnienie: ALARM %s\d\d:\d\d" % (STATION, ALARM), "the reminder", 90)
    t.expect(55 <= time.monotonic() - started <= 75, "a minute after the start", time.monotonic() - started)
    s.command(CMD_ACKNOWLEDGE)
    starttls.wait_subject(r"HX350 %s: ALARM \(potwierdzony\) %s\d\d:\d\d" % (STATION, ALARM), "the acknowledgement")
    s.sim.send("temp 24.0")
    envelope, end = starttls.wait_subject(r"HX350 %s: koniec alarmu %s\d\d:\d\d" % (STATION, ALARM), "the end")
    check_message(t, envelope, end, "end", ["HX350, stacja %s: koniec alarmu." % STATION, "Temperatura: 24.0 °C"])
    kinds = [str(message["Subject"]).split(": ", 1)[1].split(" ")[0] for _, message in starttls.messages()]
    t.equal(kinds, ["ALARM", "przypomnienie:", "ALARM", "koniec"], "the messages in order")
    lines = wait_until(lambda: (lambda data: data if data.count(b"e-mail") >= 4 else None)(
        (s.folder / EVENT_FILE).read_bytes()), 15, "four e-mail lines in the event file")
    sent = re.findall(r";e-mail \((.*?)\) wysłany do (.*?);", lines.decode("cp1250"))
    t.equal([kind for kind, _ in sent], ["początek", "przypomnienie", "potwierdzenie", "koniec"], "sent, in order")
    t.equal({to for _, to in sent}, {" ".join(RECIPIENTS)}, "to both recipients")

    t.step("closed: the settings file keeps the password encrypted")
    s.close_program()
    ini = s.ini_path.read_bytes()
    t.check(b"[MAIL]\r\nENABLED=1\r\n" in ini and PASSWORD.encode("cp1250") not in ini, "on, no password as text")
    kept = ini.split(b"[MAIL]")[1].split(b"PASSWORD=")[1].split(b"\r\n")[0]
    t.expect(len(kept) > 40, "the password is kept encrypted", kept)


if __name__ == "__main__":
    sys.exit(Scenario("mail", autostart=False, deadline=300).run(body))
