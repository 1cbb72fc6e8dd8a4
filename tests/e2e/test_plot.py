"""Colours and fonts, Plot.exe under Wine, and HX350.exe's "Uruchom Plot".

Colours and fonts: each choice shows on the display behind the dialog at once; "Anuluj" and the close box put back
what was there, OK keeps it; the choices are saved at exit and shown again at the next start.

Uruchom Plot starts the grapher from the program's own folder by full path, with the binary recording file; one
planted in the current folder is never started, and a missing one is reported. plot-standin stands in for Plot.exe
there: it writes the command line it was started with into Plot.exe.args beside itself.

Plot.exe's exports read a file built here (records of two runs, a damaged record, records without values) and must
give the text recording's bytes and a PNG of the asked size. A recording through the night the clocks go back, read
in Central European time, keeps its file order, and its statistics (--summary) and report (--report, rendered by
headless Chromium) follow from its records. Then Uruchom Plot starts the real Plot.exe on the
binary file that HX350.exe records every second, and its title's record count must grow as the program writes."""

import base64
import re
import shutil
import struct
import subprocess
import sys
import tempfile

from harness import CMD_CLOSE, CMD_COLOURS, CMD_FONTS, CMD_PLOT, TEMPERATURE, Scenario, log, settings_file, wait_until
from records import binary_record, split_binary, text_records

LIVE = "pomiary żółw.hxg"
SETTINGS = settings_file(PORT_NR=7, SHOW_ADV=0, FILE_LOG_BIN=1, FILE_INTERVAL=1, FILE_NAME_BIN=LIVE)
MISSING = "Nie można odnaleźć programu Plot.exe"
HEADER = "Data i Godzina;Temperatura °C;Wilgotność %\r\n".encode("cp1250")


def plot(s, *args, timeout=60, tz=None):
    """Runs Plot.exe (from the session's folder) to its end, in the time zone `tz` (Wine takes it from the TZ of
    each process); returns its exit code."""
    env = dict(s.env, TZ=tz) if tz else s.env
    with open(s.folder / "plot.log", "ab") as log:
        return subprocess.run(["wine", str(s.folder / "Plot.exe")] + [str(a) for a in args], cwd=s.folder,
                              env=env, stdout=log, stderr=subprocess.STDOUT, timeout=timeout).returncode


def daylight_saving(s, t):
    """Records a minute from 01:58 summer time through the repeated hour to 03:01 winter time: 22.4 °C before the
    clocks go back, 22.6 °C after, one damaged record between."""
    first = [((2026, 10, 25, 1 + (58 + i) // 60, (58 + i) % 60, 0), 22.4) for i in range(62)]
    second = [((2026, 10, 25, 2 + i // 60, i % 60, 0), 22.6) for i in range(62)]
    damaged = bytearray(binary_record((2026, 10, 25, 2, 59, 30), 22.5, 50.0))
    damaged[-1] ^= 0x55
    s.folder.joinpath("dst.hxg").write_bytes(b"".join(binary_record(stamp, value, 50.0) for stamp, value in first)
                                             + bytes(damaged)
                                             + b"".join(binary_record(stamp, value, 50.0) for stamp, value in second))
    warsaw = "Europe/Warsaw"

    t.step("daylight saving: the repeated hour follows the first, in file order (TZ=Europe/Warsaw)")
    t.equal(plot(s, "--csv", "dst.csv", "dst.hxg", tz=warsaw), 0, "exit code")
    written = text_records(s.folder.joinpath("dst.csv").read_bytes())
    t.equal([stamp for stamp, _ in written], [stamp for stamp, _ in first + second], "the stamps in file order")
    t.equal(written[61:63], [((2026, 10, 25, 2, 59, 0), "22.4;50.0"), ((2026, 10, 25, 2, 0, 0), "22.6;50.0")],
            "02:59 summer time, then 02:00 winter time")
    t.equal(plot(s, "--csv", "late.csv", "--from", "2026-10-25 03:00", "dst.hxg", tz=warsaw), 0, "--from")
    t.equal([stamp for stamp, _ in text_records(s.folder.joinpath("late.csv").read_bytes())],
            [(2026, 10, 25, 3, 0, 0), (2026, 10, 25, 3, 1, 0)], "from 03:00 winter time on")

    t.step("--summary: 124 records, all covered, no gap, 62 minutes above 22.5 °C")
    t.equal(plot(s, "--summary", "dst_summary.csv", "--limits", ":22.5::", "dst.hxg", tz=warsaw), 0, "exit code")
    lines = s.folder.joinpath("dst_summary.csv").read_bytes().split(b"\r\n")
    # Half the time at 22.4 °C, half at 22.6 °C, at 50 %: MKT 22.50 °C, mean dew point 11.55 °C and 9.96 g/m3.
    figures = b"124;100.00;0;22.40;22.60;22.50;22.50;0.10;3720;???;50.00;50.00;50.00;???;???;11.55;9.96"
    t.equal(lines[1:], [b"2026.10.25;" + figures, b"Razem;" + figures, b""], "the day and the range")

    t.step("--report: one page with the chart, limits, statistics and files, rendered by Chromium")
    t.equal(plot(s, "--report", "report.html", "--limits", "22:22.5:45:55", "dst.hxg", tz=warsaw), 0, "exit code")
    page = s.folder.joinpath("report.html").read_text(encoding="utf-8")
    png = base64.b64decode(re.search(r'src="data:image/png;base64,([A-Za-z0-9+/=]+)"', page).group(1))
    t.equal(png[:8], b"\x89PNG\r\n\x1a\n", "the chart is an embedded PNG")
    t.check("<td>dst.hxg</td><td>124</td><td>1</td>" in page, "the file with its records and one damaged", page[-2000:])
    t.check("<td>2026.10.25</td><td>124</td>" in page and "22.5 °C" in page, "the day and the limits", page[-2000:])
    shot = render(s, s.folder / "report.html")
    colours = int(subprocess.run(["identify", "-format", "%k", str(shot)], capture_output=True, text=True,
                                 check=True).stdout)
    t.check(colours > 100, "the rendered page is not blank", colours)
    shutil.copy2(shot, s.config.screenshots / "plot_report.png")


def render(s, page):
    """A screenshot of `page` by headless Chromium (as root, so without its sandbox; without its background
    connections, which this machine's closed network refuses)."""
    shot = s.folder / "report.png"
    profile = tempfile.mkdtemp(prefix="chromium-", dir=s.folder)
    subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                    "--user-data-dir=" + profile, "--window-size=1280,1800", "--screenshot=" + str(shot),
                    page.as_uri()], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120, check=True)
    return shot


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


def wait_look(s, what, **expected):
    def matches():
        look = s.look(TEMPERATURE)
        return look if all(look.get(k) == v for k, v in expected.items()) else None

    return s.wait_condition(matches, what, timeout=10)


def appearance(s, t):
    """Returns a check that the display shows the kept colour and font."""
    s.wait_texts(timeout=30, temperature="23.4 °C")
    before = wait_look(s, "the settings' colours", background="CAE4FF", bar="004080")
    t.passed("starting colours")

    def choose_background(rgb):
        s.win("dialog-click", "Kolory", "1040")
        s.win("colour-dialog", *rgb)

    def close_box():
        s.win("dialog-close", "Kolory")
        s.closed("Kolory")

    t.step("Kolory: a choice shows at once; Anuluj and the close box restore it")
    for close in (lambda: s.close_dialog("Kolory"), close_box):
        s.open_dialog(CMD_COLOURS, "Kolory")
        choose_background((255, 0, 0))
        wait_look(s, "the new background behind the dialog", background="FF0000")
        s.screenshot("colours_preview")
        close()
        wait_look(s, "the background restored", background="CAE4FF")

    t.step("Kolory: OK keeps the choice")
    s.open_dialog(CMD_COLOURS, "Kolory")
    choose_background((0, 128, 0))
    s.close_dialog("Kolory", 1)
    wait_look(s, "the kept background", background="008000")

    t.step("Czcionki: a choice shows at once; Anuluj restores it, OK keeps it")
    def larger():
        look = s.look(TEMPERATURE)
        return look if int(look["ink"]) > int(before["ink"]) * 1.4 else None

    for button in (2, 1):
        s.open_dialog(CMD_FONTS, "Czcionki")
        s.screenshot("fonts_dialog")
        s.win("dialog-click", "Czcionki", "1039")
        s.win("font-dialog", "DejaVu Serif", "72")
        s.wait_condition(larger, "the larger font behind the dialog (before: %s)" % before["ink"])
        s.screenshot("fonts_preview")
        s.close_dialog("Czcionki", button)
        if button == 2:
            wait_look(s, "the font restored by Anuluj", ink=before["ink"])
    # (The dialog's top edge lies over the display's lower rows until it is gone: a wait, not one measurement.)
    s.wait_condition(larger, "the kept font")
    s.screenshot("kept")
    s.command(CMD_CLOSE)
    s.wait_exit()
    ini = s.ini_path.read_bytes()
    t.check(b"BACKGROUND_TEMP=32768\r\n" in ini, "background saved")
    t.check(b"FONT_NAME_TEMP=DejaVu Serif\r\n" in ini and b"FONT_HEIGHT_TEMP=-96\r\n" in ini, "font saved", ini)

    def kept():
        s.wait_texts(timeout=30, temperature="23.4 °C")
        wait_look(s, "the saved colour at the next start", background="008000")
        s.wait_condition(larger, "the saved font at the next start")
        t.passed("colour and font loaded at start")

    return kept


def missing(s, t, what):
    s.command(CMD_PLOT)
    t.equal(s.message_box(press=1).get("text"), MISSING, what)
    s.wait_no_dialog()


def body(s, t):
    s.wait_visible()
    t.step("no Plot.exe beside the program")
    missing(s, t, "message")
    kept = appearance(s, t)

    t.step("the next start: colour and font kept; a Plot.exe in the current folder is not started")
    elsewhere = s.folder / "elsewhere"
    elsewhere.mkdir()
    shutil.copy2(s.config.plot_standin, elsewhere / "Plot.exe")
    s.start_program(cwd=elsewhere)
    s.wait_visible()
    kept()
    missing(s, t, "message with Plot.exe only in the current folder")
    t.check(not (elsewhere / "Plot.exe.args").exists(), "the planted program did not run")

    t.step("Plot.exe beside the program is started with the live recording file")
    shutil.copy2(s.config.plot_standin, s.folder / "Plot.exe")
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

    daylight_saving(s, t)

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
        # Ctrl+T opens "Statystyka" beside the chart.
        window = subprocess.run(["xdotool", "search", "--name", "^Plot"], env=s.env, capture_output=True,
                                text=True).stdout.split()[0]
        subprocess.run(["xdotool", "windowfocus", window], env=s.env, check=True)
        subprocess.run(["xdotool", "key", "ctrl+t"], env=s.env, check=True)
        stats = wait_until(lambda: subprocess.run(["xdotool", "search", "--name", "^Statystyka$"], env=s.env,
                                                  capture_output=True, text=True).stdout.split(), 15,
                           "the Statystyka window")[0]
        t.passed("Ctrl+T opens the statistics of the visible range")
        # Mapped is not painted yet: the screenshot waits until the window shows text (a blank one has a few
        # colours) and looks the same twice in a row.
        looks = []

        def painted():
            looks.append(subprocess.run(["import", "-window", stats, "-format", "%k %#", "info:"], env=s.env,
                                        capture_output=True, text=True, check=True).stdout)
            return len(looks) > 1 and looks[-1] == looks[-2] and int(looks[-1].split()[0]) > 24

        wait_until(painted, 15, "the statistics painted")
        log("the statistics window shows %s colours" % looks[-1].split()[0])
        s.screenshot("statistics")
    finally:
        s.win("close", check=False)
        subprocess.run(["xdotool", "search", "--name", "^Plot", "windowclose"], env=s.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    sys.exit(Scenario("plot", ini=SETTINGS, deadline=360).run(body))
