"""A port that goes away while the program reads it: the serial worker gives the handle up.

Stopping the simulator closes the master side of its pty, as unplugging a USB-serial adapter takes its device away:
under Wine every read of the port then fails (ERROR_BROKEN_PIPE, and ClearCommError with ERROR_NOT_READY). The
worker must recognise that, tell the main window (WM_PORT_LOST, posted) and end, instead of retrying the dead handle
for ever; from outside, its thread leaves the program's Wine process. The program itself goes on running."""

import sys

from harness import Scenario, wait_until
from test_dde import OK_4660, SETTINGS


def body(s, t):
    t.step("reading from the simulator")
    s.wait_visible()
    s.wait_texts(timeout=30, status=OK_4660)
    process = s.wine_process()
    reading = s.thread_count(process)

    t.step("the simulator stops: the worker ends")
    s.sim.stop()
    s.sim = None
    wait_until(lambda: s.thread_count(process) < reading, 15, "the serial worker to end", interval=0.2)
    t.passed("the worker's thread has gone (%d -> %d threads)" % (reading, s.thread_count(process)))
    t.check(s.running(), "the program still runs")
    t.expect(bool(s.texts()), "its window still answers")


if __name__ == "__main__":
    sys.exit(Scenario("port_lost", ini=SETTINGS).run(body))
