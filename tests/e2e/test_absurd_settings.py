"""Absurd settings files: the program starts, runs and closes as usual with each, without a crash, a hang or a
timer flood, and the file it writes at exit reads back to the same settings (a second run leaves it unchanged).

Each case is one run (two where the file is written back); the simulator feeds COM7 throughout."""

import sys
import time

from harness import Scenario, length, settings_file
from records import text_records

LOG = dict(FILE_LOG=1, FILE_NAME="absurd.txt", PORT_NR=7)
GARBAGE = bytes(range(256)) * 64
HUGE = b"".join(b"KEY%07d=%s\r\n" % (i, b"v" * 80) for i in range(110000))
ODD = dict(PORT_NR=9999, WINDOW_LEFT=-2147483648, WINDOW_TOP=2147483647, WINDOW_RIGHT=2147483647,
           WINDOW_BOTTOM=-2147483648, BACKGROUND_TEMP=4294967295, TEXT_RH=-1, FONT_HEIGHT_TEMP=-100000,
           FONT_HEIGHT_RH=99999999, FONT_WEIGHT_TEMP=-7, FONT_NAME_RH="x" * 200)
INVERTED = dict(WINDOW_LEFT=900, WINDOW_RIGHT=100, WINDOW_TOP=700, WINDOW_BOTTOM=-300)
# (name, file bytes or None for a folder, the recording interval the status must show, or None). By default the
# absurdities that need no run of their own share one; HX350_LONG=1 gives each its own.
CASES = length([
    ("interval 0, no newline at the end", settings_file(FILE_INTERVAL=0, **LOG).rstrip(b"\r\n"), "00:00:01"),
    ("interval 10^9, inverted window", settings_file(FILE_INTERVAL=10 ** 9, **INVERTED, **LOG), "23:59:59"),
    ("port 9999, huge window, odd colours and fonts", settings_file(**ODD), None),
    ("binary garbage around 10 MB", GARBAGE + b"\r\n" + settings_file(PORT_NR=7) + HUGE + b"\0\xff\xfe[LOG]", None),
    ("a folder", None, None),
], [
    ("interval 0", settings_file(FILE_INTERVAL=0, **LOG), "00:00:01"),
    ("interval 10^9", settings_file(FILE_INTERVAL=10 ** 9, **LOG), "23:59:59"),
    ("port 9999, huge window, odd colours and fonts", settings_file(**ODD), None),
    ("port -1, inverted window", settings_file(PORT_NR=-1, **INVERTED), None),
    ("10 MB", settings_file(PORT_NR=7) + HUGE, None),
    ("binary garbage", GARBAGE + b"\r\n[GENERAL]\0PORT_NR=7\r\n\xff\xfe[LOG]", None),
    ("no newline at the end", settings_file(PORT_NR=7).rstrip(b"\r\n"), None),
    ("a folder", None, None),
])


def run_once(s, t, name, interval):
    started = time.monotonic()
    s.start_program()
    s.wait_visible(timeout=60)
    t.check(s.texts().get("status") is not None, "%s: the window answers" % name)
    if interval:
        status = s.wait_condition(lambda: "Rejestracja do pliku co" in s.texts().get("status", ""),
                                  "the delayed start", timeout=20) and s.texts().get("status")
        t.expect(("co %s." % interval) in status, "%s: interval %s" % (name, interval), status)
        log = s.folder / "absurd.txt"
        counted_from = time.monotonic()
        least = 3 if interval == "00:00:01" else 1
        s.wait_condition(lambda: log.exists() and len(text_records(log.read_bytes())) >= least, "records")
        records = len(text_records(log.read_bytes()))
        t.expect(records <= time.monotonic() - counted_from + 4, "%s: no timer flood" % name, records)
        log.unlink()
    code = s.close_program(timeout=30)
    t.expect(code == 0, "%s: closed normally within %.0f s" % (name, time.monotonic() - started), code)


def body(s, t):
    for name, ini, interval in CASES:
        t.step(name)
        if s.ini_path.is_dir():
            s.ini_path.rmdir()
        if ini is None:
            s.ini_path.unlink(missing_ok=True)
            s.ini_path.mkdir()
        else:
            s.ini_path.write_bytes(ini)
        run_once(s, t, name, interval)
        if ini is None:
            t.expect(s.ini_path.is_dir(), "a folder: left as it is")
            continue
        written = s.ini_path.read_bytes()
        run_once(s, t, name + " (again)", None)
        t.equal(s.ini_path.read_bytes(), written, "%s: the written file reads back to the same settings" % name)


if __name__ == "__main__":
    sys.exit(Scenario("absurd_settings", ini=None, deadline=800, autostart=False).run(body))
