"""Alarms set up in the settings file: an upper temperature limit and a lower humidity limit, a 3-second delay, the
action (the grapher's stand-in, which writes its command line down) and an event file beside the program.

The temperature goes above its limit for longer than the delay: the status line names the alarm and its onset, the
temperature display turns white on red, the DDE item "Alarm" of the temperature topic says so (request and advise), the
action is started with the event, and the event file, whose last line a power cut left torn and which the start closed
off, gets the start line. "Potwierdź alarm" marks it acknowledged; a humidity alarm that follows is acknowledged by a
click on the status line. Each value then comes back inside, the temperature past the hysteresis: the end reaches the
status line, the colours, DDE, the action and the event file. The dialog refuses a relative program and keeps a full
path to a program that is missing, which the status line then names at the next alarm, until alarms are switched
off; at exit only those two keys of the settings file have changed."""

import re
import shutil
import subprocess
import sys
import time

from harness import HUMIDITY, TEMPERATURE, STATUS, Scenario, cp1250_item, settings_file, wait_until, windows_path

CMD_ACKNOWLEDGE, CMD_ALARMS = 32800, 32799
ALARM_ENABLED, ALARM_ACTION, ALARM_TEMP_HIGH = 1150, 1159, 1152
OK_4660 = "HX-350 nr 4660. Pomiar prawidłowy. "
TEMPERATURE_TOPIC, HUMIDITY_TOPIC = "Temperatura#4660", "Wilgotność#4660"
ACTION = "alarm-action.exe"
EVENT_FILE = "zdarzenia.csv"

# The header and a line torn by a power cut: the next event must start a line of its own.
OLD_EVENTS = ("Data i Godzina;Zdarzenie;Alarm;Granica;Wartość skrajna;Czas trwania\r\n"
              "2026.01.02 03:04:05;początek;wilgotność powyżej;80.0;81.0;00:01:00\r\n"
              "2026.01.02 03:05:05;kon").encode("cp1250")

NORMAL_TEMPERATURE = {"background": "CAE4FF", "bar": "004080"}
NORMAL_HUMIDITY = {"background": "B8DAFF", "bar": "003264"}
ALARM_COLOURS = {"background": "FF0000", "bar": "FFFFFF"}

STAMP = r"\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d"


def alarm_section(action):
    """The [ALARM] section as the program writes it, so that a run that changes nothing leaves it as it is."""
    keys = [("ENABLED", 1), ("TEMP_LOW", ""), ("TEMP_HIGH", "25.0"), ("RH_LOW", "30.0"), ("RH_HIGH", ""),
            ("DELAY", 3), ("HYSTERESIS", "0.5"), ("LINK_MINUTES", 0), ("SOUND", 1), ("ACTION", action),
            ("EVENT_FILE", EVENT_FILE), ("BACKGROUND_ALARM", 255), ("TEXT_ALARM", 16777215)]
    return ("[ALARM]\r\n" + "".join("%s=%s\r\n" % key for key in keys)).encode("cp1250")


def wait_look(s, control, expected, what):
    return wait_until(lambda: all(s.look(control).get(k) == v for k, v in expected.items()), 10, what)


def wait_status(s, pattern, what, timeout=20):
    """Waits for a status line that matches `pattern` (a regular expression of the whole line); its match."""
    return wait_until(lambda: re.fullmatch(pattern, s.texts().get("status", "")), timeout, what, interval=0.3)


def events(s):
    path = s.folder / EVENT_FILE
    return path.read_bytes() if path.exists() else b""


def wait_event(s, pattern, what):
    """Waits for the event file's last line to match `pattern`; returns the whole file and the match."""
    regex = re.compile((pattern + "\r\n$").encode("cp1250"))

    def found():
        data = events(s)
        match = regex.search(data)
        return (data, match) if match else None

    return wait_until(found, 15, what)


def wait_action(s, pattern, what):
    """Waits for the stand-in's command line to match `pattern` after the program's quoted path."""
    args = s.folder / (ACTION + ".args")
    regex = re.compile(re.escape('"%s" ' % windows_path(s.folder / ACTION)) + pattern + "$")

    def found():
        text = args.read_bytes().decode("utf-8", "replace") if args.exists() else ""
        return regex.match(text)

    return wait_until(found, 15, what)


def click(s, control):
    """A real left click in the middle of a control (the screen is X's, without a window manager)."""
    left, top, right, bottom = s.rect(control)
    subprocess.run(["xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2), "click", "1"],
                   env=s.env, check=True, timeout=30)


def body(s, t):
    shutil.copy2(s.config.plot_standin, s.folder / ACTION)
    settings = settings_file(PORT_NR=7, SHOW_ADV=0, FILE_SEP_FORMAT=2) + alarm_section(windows_path(s.folder / ACTION))
    s.ini_path.write_bytes(settings)
    (s.folder / EVENT_FILE).write_bytes(OLD_EVENTS)
    s.start_program()

    t.step("values inside the limits: no alarm, the item Alarm says OK")
    s.wait_visible()
    s.wait_texts(timeout=20, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    s.wait_served(TEMPERATURE_TOPIC, "Alarm")
    t.equal(s.dde_request(TEMPERATURE_TOPIC, "Alarm"), cp1250_item("OK"), "temperature Alarm")
    t.equal(s.dde_request(HUMIDITY_TOPIC, "Alarm"), cp1250_item("OK"), "humidity Alarm")
    wait_look(s, TEMPERATURE, NORMAL_TEMPERATURE, "the temperature display's own colours")
    t.equal(s.menu_state(CMD_ACKNOWLEDGE).get("enabled"), "0", "nothing to acknowledge")
    t.equal(events(s), OLD_EVENTS + b"\r\n", "the event file continued at the start: its torn line closed")
    advise = s.dde_advise("alarm", TEMPERATURE_TOPIC, "Alarm", "--timeout", "150")

    try:
        t.step("above the upper limit for longer than the delay: the alarm starts")
        advise.wait_values(1)
        s.sim.send("temp 26.0")
        s.wait_texts(temperature="26.0 °C")
        seen = time.localtime()
        match = wait_status(s, re.escape(OK_4660 + "ALARM: temperatura powyżej 25.0 °C od ") + r"(\d\d:\d\d)\. ",
                            "the temperature alarm in the status line")
        onset = match.group(1)
        t.expect(onset in (time.strftime("%H:%M", seen), time.strftime("%H:%M", time.localtime(time.mktime(seen) - 60))),
                 "the onset is when 26.0 came", (onset, time.strftime("%H:%M", seen)))
        data, start = wait_event(s, "(" + STAMP + r");początek;temperatura powyżej;25\.0;26\.0;00:00:(\d\d)",
                                 "the start in the event file")
        t.equal(data[:len(OLD_EVENTS) + 2], OLD_EVENTS + b"\r\n", "the start follows the closed line")
        t.expect(3 <= int(start.group(2)) <= 10, "started once the value stayed above for the 3-s delay",
                 start.group(0))
        started_at = start.group(1).decode()
        wait_action(s, r'start temperature 25\.0 26\.0 "%s"' % re.escape(started_at), "the action's start")
        t.passed("the action got start, quantity, limit, value and time")
        wait_look(s, TEMPERATURE, ALARM_COLOURS, "the temperature display in the alarm colours")
        humidity = s.look(HUMIDITY)
        t.equal({key: humidity.get(key) for key in NORMAL_HUMIDITY}, NORMAL_HUMIDITY, "humidity display unchanged")
        t.equal(s.texts().get("temperature"), "26.0 °C", "the value still shown")
        s.screenshot("alarm")
        piece = "ALARM: temperatura powyżej 25.0 °C od %s." % onset
        t.equal(s.dde_request(TEMPERATURE_TOPIC, "Alarm"), cp1250_item(piece), "temperature Alarm")
        t.equal(s.dde_request(HUMIDITY_TOPIC, "Alarm"), cp1250_item("OK"), "humidity Alarm")
        advise.wait_value(piece)
        t.equal(s.menu_state(CMD_ACKNOWLEDGE).get("enabled"), "1", "the alarm can be acknowledged")

        t.step("Potwierdź alarm: recorded, the alarm stays")
        s.command(CMD_ACKNOWLEDGE)
        acknowledged = "ALARM (potwierdzony): temperatura powyżej 25.0 °C od %s. " % onset
        s.wait_texts(status=OK_4660 + acknowledged)
        t.passed("the status line says it is acknowledged")
        wait_event(s, STAMP + r";potwierdzenie;temperatura powyżej;25\.0;26\.0;\d\d:\d\d:\d\d",
                   "the acknowledgement in the event file")
        advise.wait_value(acknowledged.strip())
        t.equal(s.menu_state(CMD_ACKNOWLEDGE).get("enabled"), "0", "nothing left to acknowledge")
        wait_look(s, TEMPERATURE, ALARM_COLOURS, "still the alarm colours")

        t.step("a humidity alarm too, acknowledged by a click on the status line")
        s.sim.send("rh 20.0")
        match = wait_status(s, re.escape(OK_4660 + acknowledged + "ALARM: wilgotność poniżej 30.0 % od ")
                            + r"\d\d:\d\d\. ", "both alarms in the status line")
        wait_event(s, STAMP + r";początek;wilgotność poniżej;30\.0;20\.0;\d\d:\d\d:\d\d", "the humidity start")
        wait_action(s, r'start humidity 30\.0 20\.0 "%s"' % STAMP, "the action's humidity start")
        wait_look(s, HUMIDITY, ALARM_COLOURS, "the humidity display in the alarm colours")
        t.equal(s.dde_request(TEMPERATURE_TOPIC, "Alarm"), cp1250_item(acknowledged.strip()),
                "the temperature topic names its own alarm only")
        click(s, STATUS)
        wait_status(s, re.escape(OK_4660 + acknowledged + "ALARM (potwierdzony): wilgotność poniżej 30.0 % od ")
                    + r"\d\d:\d\d\. ", "the click acknowledged the humidity alarm")
        t.passed("the click on the status line acknowledged it")
        wait_event(s, STAMP + r";potwierdzenie;wilgotność poniżej;30\.0;20\.0;\d\d:\d\d:\d\d",
                   "one acknowledgement line, for the humidity alarm")
        t.equal(events(s).count(b";potwierdzenie;"), 2, "acknowledgement lines")
        s.sim.send("rh 45.6")
        wait_event(s, STAMP + r";koniec;wilgotność poniżej;30\.0;20\.0;\d\d:\d\d:\d\d", "the humidity end")
        wait_action(s, r'end humidity 30\.0 20\.0 "%s"' % STAMP, "the action's humidity end")
        wait_look(s, HUMIDITY, NORMAL_HUMIDITY, "the humidity display's own colours again")

        t.step("past the hysteresis: the alarm ends everywhere")
        s.sim.send("temp 24.5")
        s.wait_texts(temperature="24.5 °C", status=OK_4660)
        t.passed("the status line is the reading's alone")
        _, end = wait_event(s, "(" + STAMP + r");koniec;temperatura powyżej;25\.0;26\.0;(\d\d:\d\d:\d\d)",
                            "the end in the event file")
        wait_action(s, r'end temperature 25\.0 26\.0 "%s"' % re.escape(end.group(1).decode()), "the action's end")
        t.passed("the action got the end")
        wait_look(s, TEMPERATURE, NORMAL_TEMPERATURE, "the temperature display's own colours again")
        t.equal(s.dde_request(TEMPERATURE_TOPIC, "Alarm"), cp1250_item("OK"), "temperature Alarm")
        advise.wait_last("OK")
        values = advise.values()
        t.passed("the advise link's last value is OK")
        t.check(values.index(piece) < values.index(acknowledged.strip()), "advised in order", values)
        s.screenshot("alarm_ended")
    finally:
        advise.stop()

    t.step("the dialog refuses a program that is not named by its full path, and keeps one that is")
    s.command(CMD_ALARMS)
    s.dialog("Alarmy")
    t.equal(s.win("dialog-control", "Alarmy", str(ALARM_TEMP_HIGH))[1][0], "text=25.0", "the upper limit shown")
    s.win("dialog-set-text", "Alarmy", str(ALARM_ACTION), ACTION)
    s.screenshot("dialog")
    s.win("dialog-press", "Alarmy", "1")
    box = s.message_box()
    t.check(box.get("text", "").startswith("Program alarmowy trzeba podać pełną ścieżką"), "refused", box)
    s.win("message-box", "--press", "1")
    t.equal(s.dialog("Alarmy", timeout=10)["title"], "Alarmy", "the dialog stays open")
    missing = windows_path(s.folder / "brak" / ACTION)
    s.win("dialog-set-text", "Alarmy", str(ALARM_ACTION), missing)
    s.win("dialog-press", "Alarmy", "1")
    s.wait_no_dialog()

    t.step("a program that cannot be started is said in the status line, and stays said")
    s.sim.send("temp 26.0")
    wait_status(s, re.escape(OK_4660) + r"ALARM: temperatura powyżej 25\.0 °C od \d\d:\d\d\. "
                + re.escape("Nie można uruchomić programu alarmowego. "), "the failed start in the status line")
    t.passed("the failed start is said after the alarm")
    s.sim.send("temp 23.4")
    s.wait_texts(status=OK_4660 + "Nie można uruchomić programu alarmowego. ")
    t.passed("still said after the end, whose start failed too")
    t.equal(events(s).count(b";koniec;temperatura"), 2, "the second alarm's end in the event file")

    t.step("alarms switched off: no action is due, and the failure is no longer said")
    s.command(CMD_ALARMS)
    s.dialog("Alarmy")
    s.win("dialog-click", "Alarmy", str(ALARM_ENABLED))
    s.win("dialog-press", "Alarmy", "1")
    s.wait_no_dialog()
    s.wait_texts(status=OK_4660)
    t.passed("the status line is the reading's alone")

    t.step("closing saves the new program and the switch; everything else in hx350cfg.ini stays as it was")
    s.close_program()
    t.equal(s.ini_path.read_bytes(),
            settings.replace(windows_path(s.folder / ACTION).encode(), missing.encode()).replace(
                b"[ALARM]\r\nENABLED=1", b"[ALARM]\r\nENABLED=0"), "hx350cfg.ini bytes")


if __name__ == "__main__":
    sys.exit(Scenario("alarms", autostart=False, deadline=230).run(body))
