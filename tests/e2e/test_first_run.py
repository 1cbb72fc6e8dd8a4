"""First start without hx350cfg.ini and without a configured port.

The program creates an empty settings file, shows that there is no communication (both displays "???" and
blinking), opens the port dialog once its window is visible, and after Cancel and close writes all 29 settings in
the first-run layout. FILE_INTERVAL is 60: the empty file was opened successfully, so every key was read with its
table default (the main window's own initial value of 1 second applies only when the file cannot be opened)."""

import os
import sys

from harness import HUMIDITY, NO_LINK, NO_PORT, TEMPERATURE, Scenario, settings_file


FIRST_RUN_FILE = settings_file()


def body(s, t):
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
    box = s.message_box()
    t.equal(box.get("text"), "Nie wybrano żadnego portu.", "message")
    s.win("message-box", "--press", "1")
    t.equal(s.dialog("Porty", timeout=10)["title"], "Porty", "port dialog still open")

    t.step("Cancel leaves the program without a port")
    s.win("dialog-press", "Porty", "2")
    t.check(s.wait_no_dialog(), "the dialog closed")
    t.equal(s.texts().get("status"), NO_LINK, "status")
    t.check(s.wait_blinking(TEMPERATURE, True), "temperature display blinks")
    t.check(s.wait_blinking(HUMIDITY, True), "humidity display blinks")
    s.screenshot("no_link")

    t.step("closing writes every setting in the first-run layout")
    s.close_program()
    t.equal(s.ini_path.read_bytes(), FIRST_RUN_FILE, "hx350cfg.ini after the first run")
    first_stat = os.stat(s.ini_path)

    t.step("a second run with nothing changed leaves the file untouched")
    s.start_program()
    s.wait_visible()
    s.wait_texts(status=NO_LINK, temperature="???", humidity="???")
    t.equal(s.dialog("Porty")["statics"].get(1001), NO_PORT, "port dialog again (still no port)")
    s.win("dialog-press", "Porty", "2")
    t.check(s.wait_no_dialog(), "the dialog closed")
    s.close_program()
    t.equal(s.ini_path.read_bytes(), FIRST_RUN_FILE, "hx350cfg.ini after the second run")
    t.equal(os.stat(s.ini_path).st_mtime_ns, first_stat.st_mtime_ns, "hx350cfg.ini modification time")


if __name__ == "__main__":
    sys.exit(Scenario("first_run", ini=None, with_simulator=False).run(body))
