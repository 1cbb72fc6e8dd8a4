"""A port that goes away while the program reads it, with "Porty" open: the serial worker gives the handle up, and
the port is named and reopened once it is back, also after the dialog was cancelled.

Stopping the simulator closes the master side of its pty, as unplugging a USB-serial adapter takes its device away:
under Wine every read of the port then fails (ERROR_BROKEN_PIPE, and ClearCommError with ERROR_NOT_READY). The
worker must recognise that, tell the main window (WM_PORT_LOST, posted) and end, instead of retrying the dead handle
for ever; from outside, its thread leaves the program's Wine process. The program itself goes on running. The port
dialog being open at that moment changes nothing: the status line names the port, "Anuluj" leaves it so, and live
values return when the simulator is back, with no choice made."""

import sys

from harness import CMD_PORT, Scenario, Simulator, wait_until
from test_dde import OK_4660, SETTINGS
from test_unattended import PORT_GONE


def body(s, t):
    t.step("reading from the simulator")
    s.wait_visible()
    s.wait_texts(timeout=30, status=OK_4660)

    t.step("the simulator stops while Porty is open: the worker ends and the status names the port")
    s.command(CMD_PORT)
    s.dialog("Porty")
    process = s.wine_process()
    reading = s.thread_count(process)
    s.sim.stop()
    s.sim = None
    wait_until(lambda: s.thread_count(process) < reading, 15, "the serial worker to end", interval=0.2)
    t.passed("the worker's thread has gone (%d -> %d threads)" % (reading, s.thread_count(process)))
    t.check(s.running(), "the program still runs")
    s.wait_texts(timeout=15, status=PORT_GONE)
    t.passed("status names the lost port under the dialog")

    t.step("Anuluj: the port is still named, and it comes back by itself")
    s.win("dialog-press", "Porty", "2")
    s.wait_no_dialog()
    t.equal(s.texts().get("status"), PORT_GONE, "status after Anuluj")
    s.screenshot("lost_after_cancel")
    s.sim = Simulator(s.config, s.folder, ())
    s.wait_texts(timeout=15, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.passed("live values again")


if __name__ == "__main__":
    sys.exit(Scenario("port_lost", ini=SETTINGS, deadline=150).run(body))
