"""Unattended for weeks: nothing waits for a click, and the port comes back by itself.

The settings name COM7, whose simulator is not there yet when the program starts (an adapter that enumerates
after a station has booted), and a window rectangle far right of the screen. The window opens on the screen, the
status line names the port, and once the simulator appears live readings follow with no click. A window of
another program stays in front while readings change. The simulator's pty then vanishes (an unplugged adapter) and
comes back under the same COM mapping: readings, the DDE service and recording resume by themselves. Choosing the
open port again in "Porty" (with a partial line in the buffer) reopens it and readings go on."""

import sys

from harness import CMD_PORT, NO_LINK, OK_4660, PORT_GONE, SIM_PORT, Scenario, Simulator, settings_file
from records import text_records
RECORDING = "Rejestracja do pliku co 00:00:01. "

SETTINGS = settings_file(PORT_NR=SIM_PORT, WINDOW_LEFT=5000, WINDOW_RIGHT=5600, FILE_LOG=1, FILE_INTERVAL=1,
                         FILE_NAME="unattended.txt")
# The first 12 characters of a good line (no carriage return): the rest of a line that starts after it would be
# joined to it.
PARTIAL_LINE = "raw 34 34 34"


def body(s, t):
    text_path = s.folder / "unattended.txt"

    t.step("the configured port is not there yet: said in the status line, no message box")
    s.wait_visible()
    s.wait_texts(timeout=20, status=PORT_GONE)
    t.passed("status names COM%d" % SIM_PORT)
    t.check(s.no_dialog(), "no message box or dialog")

    t.step("a rectangle saved far off screen opens on the screen, with its size")
    left, top, right, bottom = s.rect(0)
    t.equal((right - left, bottom - top), (600, 400), "window size")
    t.expect(0 <= left and right <= 1280 and 0 <= top and bottom <= 800, "window on the 1280 x 800 screen",
             (left, top, right, bottom))

    t.step("the adapter appears: live readings with no click")
    s.sim = Simulator(s.config, s.folder, ())
    s.wait_texts(timeout=10, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.passed("live readings")

    t.step("another program in front keeps the foreground while the status line changes")
    s.sim.send("errors 6", "line")
    rc, lines = s.win("foreground-probe", "4", check=False)
    t.equal(lines, ["front=1", "stolen=0"], "the probe window stayed in front")
    s.sim.send("errors 0")
    s.wait_texts(status=OK_4660 + RECORDING, timeout=20)

    t.step("the adapter is unplugged and plugged back in: readings, DDE and recording resume")
    s.wait_served("Temperatura#4660")
    s.sim.stop()
    s.wait_texts(timeout=15, status=PORT_GONE + RECORDING)
    t.passed("status names the lost port")
    records = len(text_records(text_path.read_bytes()))
    s.sim = Simulator(s.config, s.folder, ())
    s.wait_texts(timeout=10, status=OK_4660 + RECORDING, temperature="23.4 °C")
    t.passed("readings back within 10 s")
    t.check(s.wait_served("Temperatura#4660", timeout=10), "the DDE service answers again")
    s.wait_condition(lambda: text_records(text_path.read_bytes())[-1][1] == "23.4\t45.6", "records with values")
    t.expect(len(text_records(text_path.read_bytes())) > records, "recording went on throughout")

    t.step("choosing the open port again reopens it, with a partial line in the buffer")
    s.sim.send("silence")
    s.wait_texts(timeout=15, status=NO_LINK + RECORDING)
    s.sim.send(PARTIAL_LINE)
    s.open_dialog(CMD_PORT, "Porty")
    s.win("port-dialog-select", "COM%d" % SIM_PORT)
    s.win("dialog-press", "Porty", "1")
    s.wait_no_dialog()
    # Bytes that arrive while the port is being reopened are purged with it, so a line is sent until one lands.
    s.wait_condition(lambda: s.sim.send("line") or s.texts().get("status") == OK_4660 + RECORDING,
                     "a line after the reopen", timeout=15)
    t.passed("readings after the reopen")

if __name__ == "__main__":
    sys.exit(Scenario("unattended", ini=SETTINGS, with_simulator=False, deadline=280).run(body))
