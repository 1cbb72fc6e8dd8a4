"""Plot.exe under Wine, and HX350.exe's "Uruchom Plot".

Uruchom Plot starts the grapher from the program's own folder by full path, with the binary recording file; one
planted in the current folder is never started, and a missing one is reported. plot-standin stands in for Plot.exe
there: it writes the command line it was started with into Plot.exe.args beside itself.

Plot.exe's exports read a file built here (records of two runs, a damaged record, records without values) and must
give the text recording's bytes and a PNG of the asked size. Then Uruchom Plot starts the real Plot.exe on the
binary file that HX350.exe records every second, and its title's record count must grow as the program writes."""

import shutil
import struct
import subprocess
import sys

from harness import CMD_PLOT, Scenario, settings_file, wait_until
from records import binary_record, split_binary

LIVE = "pomiary żółw.hxg"
SETTINGS = settings_file(PORT_NR=7, SHOW_ADV=0, FILE_LOG_BIN=1, FILE_INTERVAL=1, FILE_NAME_BIN=LIVE)
MISSING = "Nie można odnaleźć programu Plot.exe"
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


def missing(s, t, what):
    s.command(CMD_PLOT)
    t.equal(s.message_box(press=1).get("text"), MISSING, what)
    s.wait_no_dialog()


def body(s, t):
    s.wait_visible()
    t.step("no Plot.exe beside the program")
    missing(s, t, "message")

    t.step("a Plot.exe in the current folder is not started")
    s.close_program()
    elsewhere = s.folder / "elsewhere"
    elsewhere.mkdir()
    shutil.copy2(s.config.plot_standin, elsewhere / "Plot.exe")
    s.start_program(cwd=elsewhere)
    s.wait_visible()
    missing(s, t, "message with Plot.exe only in the current folder")
    t.check(not (elsewhere / "Plot.exe.args").exists(), "the planted program did not run")

    t.step("Plot.exe beside the program is started with the live recording file")
    shutil.copy2(s.config.plot_standin, s.folder / "Plot.exe")
    t.equal(s.menu_state(CMD_PLOT).get("enabled"), "1", "Uruchom Plot enabled")
    s.command(CMD_PLOT)
    args = s.folder / "Plot.exe.args"
    line = s.wait_condition(lambda: args.exists() and args.read_bytes().decode("utf-8"), "Plot.exe started", 20)
    t.check(line.endswith('Plot.exe" "%s"' % LIVE), "quoted path and recording file", line)
    t.check(line.startswith('"') and "\\Plot.exe" in line and "elsewhere" not in line, "its own full path", line)
    t.check(s.no_dialog(), "no message")
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

    t.step("Uruchom Plot: the recording followed live")
    live = elsewhere / LIVE  # the recording's file name is relative: it is in the program's current folder
    wait_until(lambda: live.exists() and len(split_binary(live.read_bytes())) >= 3, 40, "the recording to start")
    s.command(CMD_PLOT)
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


if __name__ == "__main__":
    sys.exit(Scenario("plot", ini=SETTINGS, deadline=240).run(body))
