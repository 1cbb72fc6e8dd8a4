"""The first start, choosing the serial port, the menu, and the settings that change on the way.

Without hx350cfg.ini and a configured port, the program creates an empty settings file, shows that there is no
communication (both displays "???" and blinking), opens the port dialog once its window is visible, and after
Cancel and close writes all 29 settings in the first-run layout (FILE_INTERVAL is 60: the empty file was opened,
so every key was read with its table default); a second run with nothing changed leaves the file untouched.

Then the settings name COM12, which nothing maps: the program says it cannot open it and offers the port dialog once
its window is visible. A choice that fails (COM9, listed but unmapped) brings the message and the dialog back;
choosing the simulator's COM7 opens it and live readings appear. The menu then reopens the dialog on the open
port, "Zawsze na wierzchu" puts the window on top, and "Zamknij", sent while the port dialog is open, closes the
dialog and the program, which saves the new port and the on-top mode."""

import os
import sys

from harness import (CMD_CLOSE, CMD_PORT, CMD_TOPMOST, HUMIDITY, NO_LINK, NO_PORT, OK_4660, SIM_PORT, TEMPERATURE,
                     Scenario, Simulator, settings_file)

UNMAPPED_PORT = 9  # listed by the port dialog under Wine (COM1..COM9 always answer the probe) but not mapped

# Every menu item works; only the recording item waits for the delayed start.
ENABLED_ITEMS = {32771: "Port szeregowy", 32783: "Zamknij", 32772: "Zawsze na wierzchu",
                 32773: "Rejestracja do pliku", 32795: "Uruchom Plot", 32780: "Kolory", 32781: "Czcionki",
                 32797: "Ustawienia dodatkowe", 32778: "Pomoc", 32798: "Program MVX", 32779: "O programie"}

SAVED = settings_file(sections=("GENERAL", "TEMP", "RH", "LOG"), PORT_NR=7, TOPMOST=1)


def first_run(s, t):
    t.step("the window appears with no reading")
    s.wait_visible()
    t.check(s.ini_path.exists(), "hx350cfg.ini was created at start")
    t.equal(s.ini_path.read_bytes(), b"", "hx350cfg.ini while the program runs")
    texts = s.wait_texts(status=NO_LINK, temperature="???", humidity="???")
    t.equal(texts.get("humidity_visible"), "1", "humidity display shown")
    t.equal(s.rect(0), (100, 100, 700, 500), "window rectangle (defaults)")

    t.step("the port dialog opens once the window is visible")
    dialog = s.dialog("Porty")
    t.equal(dialog["statics"].get(1001), NO_PORT, "current-port text")
    t.equal(dialog["combo"].get(1000), "", "no entry selected")
    t.expect(len(dialog["items"].get(1000, [])) > 0, "the port list has entries", dialog["items"])
    t.equal(dialog["buttons"].get(1), "OK", "OK button")
    t.equal(dialog["buttons"].get(2), "Anuluj", "Cancel button")
    s.screenshot("port_dialog")

    t.step("OK without a choice keeps the dialog and says so")
    s.win("dialog-press", "Porty", "1")
    t.equal(s.answer(), "Nie wybrano żadnego portu.", "message")
    t.equal(s.dialog("Porty", timeout=10)["title"], "Porty", "port dialog still open")

    t.step("Cancel leaves the program without a port")
    t.check(s.close_dialog("Porty"), "the dialog closed")
    t.equal(s.texts().get("status"), NO_LINK, "status")
    t.check(s.wait_blinking(TEMPERATURE, True), "temperature display blinks")
    t.check(s.wait_blinking(HUMIDITY, True), "humidity display blinks")
    s.screenshot("no_link")

    t.step("closing writes every setting in the first-run layout")
    s.close_program()
    t.equal(s.ini_path.read_bytes(), settings_file(), "hx350cfg.ini after the first run")
    first_stat = os.stat(s.ini_path)

    t.step("a second run with nothing changed leaves the file untouched")
    s.start_program()
    s.wait_visible()
    s.wait_texts(status=NO_LINK, temperature="???", humidity="???")
    t.equal(s.dialog("Porty")["statics"].get(1001), NO_PORT, "port dialog again (still no port)")
    t.check(s.close_dialog("Porty"), "the dialog closed")
    s.close_program()
    t.equal(s.ini_path.read_bytes(), settings_file(), "hx350cfg.ini after the second run")
    t.equal(os.stat(s.ini_path).st_mtime_ns, first_stat.st_mtime_ns, "hx350cfg.ini modification time")


def choose_port(s, t, port):
    dialog = s.dialog("Porty")
    entries = dialog["items"].get(1000, [])
    t.check(any(e == "COM%d" % port or e.startswith("COM%d " % port) for e in entries),
            "COM%d is listed" % port, entries)
    selected = s.win("port-dialog-select", "COM%d" % port)[1]
    t.equal(selected, ["selected=COM%d" % port], "selected entry")
    s.win("dialog-press", "Porty", "1")
    return dialog


def body(s, t):
    first_run(s, t)
    s.ini_path.write_bytes(b"[GENERAL]\r\nPORT_NR=12\r\n")
    s.sim = Simulator(s.config, s.folder, ())
    s.start_program()
    t.check(not (s.config.prefix / "dosdevices" / ("com%d" % UNMAPPED_PORT)).exists(),
            "COM%d is not mapped in the prefix" % UNMAPPED_PORT)

    t.step("the configured COM12 cannot be opened")
    s.message_box(timeout=30)
    s.screenshot("cannot_open")
    t.equal(s.answer(), "Nie można otworzyć portu COM12", "message")

    t.step("the port dialog follows once the window is visible")
    s.wait_visible()
    dialog = s.dialog("Porty")
    t.equal(dialog["statics"].get(1001), NO_PORT, "current-port text")
    t.equal(s.texts().get("status"), NO_LINK, "status")
    # The dialog is modal: the wait box that listed the ports must not have given the main window its input back.
    t.equal(s.enabled(0), False, "main window disabled under the port dialog")

    t.step("a port that fails to open brings the message and the dialog back")
    s.win("port-dialog-select", "COM%d" % UNMAPPED_PORT)
    s.win("dialog-press", "Porty", "1")
    t.equal(s.answer(), "Nie można otworzyć portu COM%d" % UNMAPPED_PORT, "message")
    t.equal(s.dialog("Porty")["statics"].get(1001), NO_PORT, "dialog again, still no port")

    t.step("choosing the simulator's port brings live readings")
    choose_port(s, t, SIM_PORT)
    t.check(s.wait_no_dialog(), "the dialog closed")
    t.equal(s.enabled(0), True, "main window enabled again")
    s.wait_texts(timeout=20, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.passed("live readings from COM%d" % SIM_PORT)
    s.screenshot("chosen")

    t.step("the menu reopens the dialog on the open port; Cancel changes nothing")
    dialog = s.open_dialog(CMD_PORT, "Porty")
    t.equal(dialog["statics"].get(1001), "Aktualnie używany port: COM%d" % SIM_PORT, "current-port text")
    t.equal(dialog["combo"].get(1000), "COM%d" % SIM_PORT, "the open port is selected")
    s.screenshot("menu_port_dialog")
    t.equal(s.enabled(0), False, "main window disabled under the port dialog")
    s.close_dialog("Porty")
    s.sim.send("temp 24.5")
    s.wait_texts(status=OK_4660, temperature="24.5 °C")
    t.passed("readings go on after Cancel")

    t.step("menu items")
    s.wait_menu_enabled(32773)
    for item, name in ENABLED_ITEMS.items():
        t.equal(s.menu_state(item).get("enabled"), "1", "%s enabled" % name)

    t.step("Zawsze na wierzchu")
    t.equal(s.menu_state(CMD_TOPMOST).get("checked"), "0", "not checked at start")
    t.equal(s.win("topmost")[1], ["topmost=0"], "window not on top")
    s.command(CMD_TOPMOST)
    t.check(s.wait_condition(lambda: s.win("topmost")[1] == ["topmost=1"], "window on top"), "window on top")
    t.equal(s.menu_state(CMD_TOPMOST).get("checked"), "1", "checked")

    t.step("Zamknij with the port dialog open closes the program, which saves the new port and the on-top mode")
    s.open_dialog(CMD_PORT, "Porty")
    s.command(CMD_CLOSE)
    t.check(s.wait_exit(), "the program exited")
    t.equal(s.ini_path.read_bytes(), SAVED, "hx350cfg.ini")


if __name__ == "__main__":
    sys.exit(Scenario("ports", ini=None, with_simulator=False, deadline=300).run(body))
