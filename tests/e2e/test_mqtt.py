"""MQTT against a real broker (Debian's mosquitto on a loopback port of this scenario's own, with a password file)
and a subscriber with a persistent session that writes down what it hears.

The program starts with MQTT on and a user without its password: the broker refuses the login, which the status
line says. The password typed into Ustawienia → MQTT connects it: "online", the discovery device message and the
state arrive, the state agrees with the window, and "online" on homeassistant/status brings the device message
again. The broker stops for 30 s while records are due every 2 s: the status line says so, the window keeps
answering, and once the broker is back every record of the gap arrives once, in order. A listener that never
answers and one that sends garbage each cost the connection, never the window, and the broker is reached again.
Encrypted (the broker's TLS listeners, certificates from a test authority that the system trusts meanwhile): a
self-signed certificate is refused with its reason in the status line, the authority's certificate connects. Closed
properly (over TLS from here on), the program says "offline" itself at once, and its settings file keeps the password encrypted,
never as plain text; started again, it connects with that password, and killed, it is declared "offline" by its
will within 1.5 times the keep-alive."""

import sys
import time

from harness import OK_4660, Scenario, settings_file, wait_until
from peers import Mosquitto, StubListener, Subscriber, require_program
from test_tls import make_certificates, trusted_authority

CMD_MQTT = 32801
MQTT_PORT_FIELD, MQTT_PASSWORD_FIELD, MQTT_TLS = 1172, 1175, 1179
STATION = "stacja-e2e"
TOPIC = "hx350/%s/" % STATION
DISCOVERY = "homeassistant/device/hx350_%s/config" % STATION
USER, PASSWORD = "hx", "tajne hasło"
KEEPALIVE = 10


def mqtt_section(port):
    return ("[MQTT]\r\nENABLED=1\r\nHOST=127.0.0.1\r\nPORT=%d\r\nSTATION=%s\r\nUSER=%s\r\nPASSWORD=\r\n"
            "KEEPALIVE=%d\r\nRECORD_INTERVAL=2\r\nDISCOVERY=1\r\n" % (port, STATION, USER, KEEPALIVE)).encode("cp1250")


def status(s):
    return s.texts().get("status", "")


def wait_status(s, ending, what, timeout=30):
    return wait_until(lambda: status(s).endswith(ending), timeout, what, interval=0.5)


def set_port(s, port):
    """The broker's port through the dialog, as a user would change it."""
    s.command(CMD_MQTT)
    s.dialog("MQTT")
    s.win("dialog-set-text", "MQTT", str(MQTT_PORT_FIELD), str(port))
    s.win("dialog-press", "MQTT", "1")
    s.wait_no_dialog()


def online_count(watcher):
    return watcher.payloads(TOPIC + "availability").count("online")


def body(s, t):
    for program in ("mosquitto", "mosquitto_sub", "mosquitto_pub", "mosquitto_passwd"):
        require_program(program)
    certificates = s.folder / "certificates"
    certificates.mkdir()
    make_certificates(certificates)
    broker = Mosquitto(s.folder / "broker", {USER: PASSWORD, "watcher": "w"},
                       [(certificates / name, certificates / "server.key") for name in ("self.crt", "localhost.crt")])
    self_signed, trusted = broker.tls_ports
    watcher = Subscriber(broker, "watcher", "w")
    silent, garbage = StubListener("silent"), StubListener("garbage")
    refused = "MQTT: broker 127.0.0.1:%d odrzucił logowanie. " % broker.port
    gone = "MQTT: brak połączenia z brokerem 127.0.0.1:%d. " % broker.port
    try:
        s.ini_path.write_bytes(settings_file(PORT_NR=7, SHOW_ADV=0) + mqtt_section(broker.port))
        s.start_program()

        t.step("a user without the right password: the broker refuses the login, and the status line says so")
        s.wait_visible()
        wait_status(s, OK_4660 + refused, "the refused login in the status line")
        t.passed("said after the reading's text, no message box")
        t.check(s.no_dialog(), "no message box")

        t.step("the password typed into the dialog: online, the device, the state as the window shows it")
        s.command(CMD_MQTT)
        s.dialog("MQTT")
        s.win("dialog-set-text", "MQTT", str(MQTT_PASSWORD_FIELD), PASSWORD)
        s.screenshot("dialog")
        s.win("dialog-press", "MQTT", "1")
        s.wait_no_dialog()
        watcher.wait(TOPIC + "availability", lambda p: p == "online", 30, "online")
        wait_status(s, OK_4660, "no MQTT text once connected")
        device = watcher.wait(DISCOVERY, lambda p: isinstance(p, dict), 10, "the discovery device message")
        components = device.get("components", {})
        t.equal(device.get("availability_topic"), TOPIC + "availability", "availability topic")
        for key, unit in (("temperature", "°C"), ("humidity", "%")):
            sensor = components.get(key, {})
            t.equal((sensor.get("platform"), sensor.get("device_class"), sensor.get("unit_of_measurement"),
                     sensor.get("state_class")), ("sensor", key, unit, "measurement"), key + " sensor")
            t.expect(sensor.get("expire_after", 0) > 0, key + " expires", sensor)
        t.equal(components.get("alarm"), {"platform": "binary_sensor"}, "no problem sensor while alarms are off")
        texts = s.wait_texts(temperature="23.4 °C", humidity="45.6 %")
        state = watcher.wait(TOPIC + "state", lambda p: isinstance(p, dict) and p.get("link") == "ok", 10, "a state")
        t.equal((state.get("serial"), state.get("temperature"), state.get("humidity"), state.get("temperature_ok")),
                (4660, 23.4, 45.6, True), "the state as the window shows %s" % texts)
        t.expect("alarm" not in state, "no alarm field while alarms are off", state)
        devices = len(watcher.payloads(DISCOVERY))
        broker.publish("watcher", "w", "homeassistant/status", "online")
        wait_until(lambda: len(watcher.payloads(DISCOVERY)) > devices, 15, "the device message again")
        t.passed("the device message again after homeassistant/status online")

        t.step("the broker stopped for 30 s while records are due: said, the window answers, nothing is lost")
        before = len(watcher.payloads(TOPIC + "record"))
        watcher.wait(TOPIC + "record", lambda p: True, 10, "a record", after=before)
        onlines = online_count(watcher)
        broker.stop()
        wait_status(s, OK_4660 + gone, "the lost broker in the status line")
        # The outage lasts its 30 s whatever happens; all the while the window is asked for its texts.
        outage_end, answers, asked = time.monotonic() + 30, 0, 0
        while time.monotonic() < outage_end:
            asked += 1
            answers += s.texts().get("temperature") == "23.4 °C"
        t.equal(answers, asked, "the window answered every time during the outage")
        broker.start()
        restarted = time.time()
        wait_until(lambda: online_count(watcher) > onlines, 90, "online again")
        wait_status(s, OK_4660, "no MQTT text once back")

        def stamps():
            return [time.mktime(time.strptime(payload[9:28], "%Y-%m-%dT%H:%M:%S"))
                    for payload in watcher.payloads(TOPIC + "record")[before:]]

        records = wait_until(lambda: (lambda r: r if r and r[-1] >= restarted else None)(stamps()), 30,
                             "the waiting records up to the present")
        steps = [b - a for a, b in zip(records, records[1:])]
        t.expect(len(records) >= 15, "the records of the gap arrived", len(records))
        t.equal(sorted(set(steps)), [2.0], "every record once, in order, 2 s apart")

        t.step("a listener that never answers and one that sends garbage: the window answers, the broker comes back")
        for listener in (silent, garbage):
            set_port(s, listener.port)
            wait_status(s, "MQTT: brak połączenia z brokerem 127.0.0.1:%d. " % listener.port,
                        "no connection to the %s listener" % listener.mode)
            t.check(listener.accepted > 0 and s.texts().get("temperature") == "23.4 °C",
                    "the %s listener was tried and the window answers" % listener.mode)
        onlines = online_count(watcher)
        set_port(s, broker.port)
        wait_until(lambda: online_count(watcher) > onlines, 60, "online after the broken listeners")
        t.passed("connected to the broker again")

        with trusted_authority(certificates / "ca.crt", s.config.slot):
            encrypted_then_closed(s, t, watcher, self_signed, trusted)
    finally:
        for peer in (watcher, broker, silent, garbage):
            peer.stop()


def encrypted_then_closed(s, t, watcher, self_signed, trusted):
    t.step("encrypted: the standard port follows the switch, a self-signed certificate is refused with its reason, "
           "a trusted one connects; a screenshot of the dialog")
    s.command(CMD_MQTT)
    s.dialog("MQTT")
    s.win("dialog-set-text", "MQTT", str(MQTT_PORT_FIELD), "1883")
    s.win("dialog-click", "MQTT", str(MQTT_TLS))
    t.equal(s.control("MQTT", str(MQTT_PORT_FIELD)).get("text"), "8883", "the port for TLS")
    s.screenshot("dialog-tls")
    s.win("dialog-press", "MQTT", "1")
    s.wait_no_dialog()
    set_port(s, self_signed)
    wait_status(s, "MQTT: brak połączenia szyfrowanego z brokerem 127.0.0.1:%d (certyfikat serwera nie pochodzi od "
                "zaufanego wystawcy). " % self_signed, "the self-signed certificate refused")
    onlines = online_count(watcher)
    set_port(s, trusted)
    wait_until(lambda: online_count(watcher) > onlines, 30, "online over TLS")
    wait_until(lambda: "MQTT" not in status(s), 10, "no MQTT problem in the status line", interval=0.5)
    t.passed("connected over TLS")

    t.step("closed properly: offline at once, and the settings file keeps the password encrypted")
    offlines = watcher.payloads(TOPIC + "availability").count("offline")
    closed = time.monotonic()
    s.close_program()
    wait_until(lambda: watcher.payloads(TOPIC + "availability").count("offline") > offlines, 10, "offline")
    t.expect(time.monotonic() - closed <= 6, "offline with the close", time.monotonic() - closed)
    ini = s.ini_path.read_bytes()
    t.check(b"\r\nTLS=1\r\n" in ini, "the encryption is kept")
    t.check(b"[MQTT]" in ini and PASSWORD.encode("cp1250") not in ini and PASSWORD.encode() not in ini,
            "the password is not in the file as text")
    kept = ini.split(b"PASSWORD=")[1].split(b"\r\n")[0]
    t.expect(len(kept) > 40, "the password is kept encrypted", kept)

    t.step("started again the encrypted password connects; killed, the will says offline within 1.5 keep-alives")
    onlines = online_count(watcher)
    s.start_program()
    wait_until(lambda: online_count(watcher) > onlines, 30, "online after the start")
    offlines = watcher.payloads(TOPIC + "availability").count("offline")
    killed = time.monotonic()
    s.kill_program()
    wait_until(lambda: watcher.payloads(TOPIC + "availability").count("offline") > offlines, KEEPALIVE * 1.5 + 5,
               "the will's offline")
    t.expect(time.monotonic() - killed <= KEEPALIVE * 1.5, "offline in time", time.monotonic() - killed)


if __name__ == "__main__":
    sys.exit(Scenario("mqtt", autostart=False, deadline=330).run(body))
