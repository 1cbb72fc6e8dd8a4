"""Uruchom Plot: the grapher is started from the program's own folder by full path, with the binary recording file
when that recording is on; one planted in the current folder is never started, and a missing one is reported.

plot-standin stands in for Plot.exe: it writes the command line it was started with into Plot.exe.args beside
itself."""

import shutil
import sys

from harness import CMD_PLOT, Scenario, settings_file

MISSING = "Nie można odnaleźć programu Plot.exe"
SETTINGS = settings_file(PORT_NR=7, SHOW_ADV=0, FILE_LOG_BIN=1, FILE_NAME_BIN="pomiary żółw.hxg", FILE_INTERVAL=3600)


def missing(s, t, what):
    s.command(CMD_PLOT)
    box = s.message_box()
    t.equal(box.get("text"), MISSING, what)
    s.win("message-box", "--press", "1")
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
    s.screenshot("missing")
    t.check(not (elsewhere / "Plot.exe.args").exists(), "the planted program did not run")

    t.step("Plot.exe beside the program is started with the live recording file")
    shutil.copy2(s.config.plot_standin, s.folder / "Plot.exe")
    s.command(CMD_PLOT)
    args = s.folder / "Plot.exe.args"
    s.wait_condition(args.exists, "Plot.exe started", timeout=20)
    line = s.wait_condition(lambda: args.read_bytes().decode("utf-8"), "its command line")
    t.check(line.endswith('Plot.exe" "pomiary żółw.hxg"'), "quoted path and recording file", line)
    t.check(line.startswith('"') and "\\Plot.exe" in line and "elsewhere" not in line, "its own full path", line)
    t.check(s.no_dialog(), "no message")


if __name__ == "__main__":
    sys.exit(Scenario("plot_start", ini=SETTINGS).run(body))
