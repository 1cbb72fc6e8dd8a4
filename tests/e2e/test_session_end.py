"""Settings survive the end of the session, and a read-only settings file is read and left alone.

First run without a port: COM7 is chosen in "Porty" and the window is moved; then the end-of-session pair that
Windows sends at logoff arrives and the process is killed, as the session's end does. The settings file holds the
new port and position. Made read-only, the file is read at the next start (COM7 opens, no port dialog) and left
byte for byte as it was at exit, with no message."""

import os
import signal
import subprocess
import sys

from harness import CMD_CLOSE, CMD_TOPMOST, SIM_PORT, Scenario, settings_file

OK_4660 = "HX-350 nr 4660. Pomiar prawidłowy. "


def body(s, t):
    t.step("a port is chosen and the window moved")
    s.wait_visible()
    s.dialog("Porty")
    s.win("port-dialog-select", "COM%d" % SIM_PORT)
    s.win("dialog-press", "Porty", "1")
    s.wait_no_dialog()
    s.wait_texts(timeout=20, status=OK_4660)
    s.win("move", "50", "60", "650", "460")
    s.wait_condition(lambda: s.rect(0) == (50, 60, 650, 460), "the window at its new place")

    t.step("logoff: the session's end is answered, then the process is killed")
    t.equal(s.win("end-session")[1], ["query=1"], "the program lets the session end")
    out = subprocess.run(["pgrep", "-f", str(s.folder / "HX350.exe")], capture_output=True, text=True).stdout
    for pid in out.split():
        os.kill(int(pid), signal.SIGKILL)
    s.wait_exit()
    t.equal(s.ini_path.read_bytes(), settings_file(PORT_NR=SIM_PORT, WINDOW_LEFT=50, WINDOW_TOP=60,
                                                   WINDOW_RIGHT=650, WINDOW_BOTTOM=460),
            "hx350cfg.ini holds the new port and position")

    t.step("a read-only settings file is read and left as it is")
    before = s.ini_path.read_bytes()
    os.chmod(s.ini_path, 0o444)
    s.start_program()
    s.wait_visible()
    s.wait_texts(timeout=20, status=OK_4660)
    t.check(s.no_dialog(), "COM7 from the file opened: no port dialog")
    s.command(CMD_TOPMOST)
    s.command(CMD_CLOSE)
    s.wait_exit()
    t.equal(s.ini_path.read_bytes(), before, "hx350cfg.ini unchanged")
    os.chmod(s.ini_path, 0o644)


if __name__ == "__main__":
    sys.exit(Scenario("session_end", ini=settings_file()).run(body))
