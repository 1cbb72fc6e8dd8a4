"""Plot.exe under Wine: the command-line exports, and a recording followed live.

The exports read a file built here (records of two runs, a damaged record, records without values) and must give
the text recording's bytes and a PNG of the asked size. Then HX350.exe records every second from the simulator into
a binary file, Plot.exe is started on that file, and its title's record count must grow as the program writes."""

import struct
import subprocess
import sys
import time

from harness import Scenario, settings_file, wait_until
from records import binary_record, split_binary

SETTINGS = settings_file(PORT_NR=7, FILE_LOG_BIN=1, FILE_INTERVAL=1, FILE_NAME_BIN="live.hxg")
HEADER = "Data i Godzina;Temperatura °C;Wilgotność %\r\n".encode("cp1250")


def plot(s, *args, timeout=60):
    """Runs Plot.exe (from the session's folder) to its end; returns its exit code."""
    with open(s.folder / "plot.log", "ab") as log:
        return subprocess.run(["wine", str(s.folder / "Plot.exe")] + [str(a) for a in args], cwd=s.folder,
                              env=s.env, stdout=log, stderr=subprocess.STDOUT, timeout=timeout).returncode


def plot_title(s):
    """The title of Plot.exe's window, or ""."""
    found = subprocess.run(["xdotool", "search", "--name", "^Plot"], env=s.env, capture_output=True, text=True)
    for window in found.stdout.split():
        name = subprocess.run(["xdotool", "getwindowname", window], env=s.env, capture_output=True, text=True)
        if name.stdout.startswith("Plot"):
            return name.stdout.strip()
    return ""


def record_count(title):
    words = title.split(" - ")
    return int(words[-1].split()[0]) if len(words) == 3 else -1


def body(s, t):
    s.folder.joinpath("Plot.exe").write_bytes(s.config.mingw.joinpath("Plot.exe").read_bytes())

    t.step("--csv: the records of two files in time order, damaged ones skipped")
    later = [binary_record((2024, 3, 6, 8, 0, sec), 20.5 + sec / 10, 40.0) for sec in range(3)]
    earlier = [binary_record((2024, 3, 5, 23, 59, 59), -3.4, None), binary_record((2024, 3, 6, 0, 0, 0))]
    s.folder.joinpath("b.hxg").write_bytes(b"".join(later) + b"\xd0\xc0\x01\x02" + later[0][:9])
    s.folder.joinpath("a.hxg").write_bytes(b"".join(earlier))
    t.equal(plot(s, "--csv", "out.csv", "b.hxg", "a.hxg"), 0, "exit code")
    expected = HEADER + (b"2024.03.05 23:59:59;-3.4;???\r\n2024.03.06 00:00:00;???;???\r\n"
                         b"2024.03.06 08:00:00;20.5;40.0\r\n2024.03.06 08:00:01;20.6;40.0\r\n"
                         b"2024.03.06 08:00:02;20.7;40.0\r\n")
    t.equal(s.folder.joinpath("out.csv").read_bytes(), expected, "CSV bytes")
    t.equal(plot(s, "--csv", "tab.csv", "--tab", "a.hxg"), 0, "exit code with --tab")
    t.equal(s.folder.joinpath("tab.csv").read_bytes().split(b"\r\n")[1], b"2024.03.05 23:59:59\t-3.4\t???",
            "tab-separated line")
    t.equal(plot(s, "--csv", "x.csv", "missing.hxg"), 1, "a missing file fails")
    t.equal(plot(s, "--csv", "x.csv"), 2, "no file is a usage error")

    t.step("--png: a picture of the asked size")
    t.equal(plot(s, "--png", "out.png", "--size", "800x450", "a.hxg", "b.hxg"), 0, "exit code")
    png = s.folder.joinpath("out.png").read_bytes()
    t.equal(png[:8], b"\x89PNG\r\n\x1a\n", "PNG signature")
    t.equal(struct.unpack(">II", png[16:24]), (800, 450), "PNG size")
    s.folder.joinpath("out.png").replace(s.config.screenshots / "plot_export.png")

    t.step("a recording followed live")
    live = s.folder / "live.hxg"
    s.wait_visible()
    wait_until(lambda: live.exists() and len(split_binary(live.read_bytes())) >= 3, 40, "the recording to start")
    viewer = subprocess.Popen(["wine", str(s.folder / "Plot.exe"), "live.hxg"], cwd=s.folder, env=s.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        first = wait_until(lambda: record_count(plot_title(s)) > 0 and record_count(plot_title(s)), 30,
                           "Plot.exe to show the recording")
        t.passed("Plot.exe shows %d records" % first)
        grown = wait_until(lambda: record_count(plot_title(s)) >= first + 3 and record_count(plot_title(s)), 15,
                           "three more records")
        t.passed("records appear as they are written (%d)" % grown)
        written = len(split_binary(live.read_bytes()))
        t.expect(abs(written - record_count(plot_title(s))) <= 2, "Plot.exe keeps up with the file",
                 (written, plot_title(s)))
        s.screenshot("live")
    finally:
        s.win("close", check=False)
        subprocess.run(["xdotool", "search", "--name", "^Plot", "windowclose"], env=s.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            viewer.wait(timeout=20)
        except subprocess.TimeoutExpired:
            viewer.kill()


if __name__ == "__main__":
    sys.exit(Scenario("plot", ini=SETTINGS, deadline=150).run(body))
