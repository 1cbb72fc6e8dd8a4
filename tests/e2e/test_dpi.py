"""At 144 DPI (150 %): the window opens at the saved rectangle scaled from 96-DPI units, its displays' fonts and
gaps scaled with it, every window laid out at that size, and the settings file still in 96-DPI units at exit."""

import sys

from harness import (CMD_ABOUT, CMD_ADDITIONAL, CMD_CLOSE, CMD_COLOURS, CMD_FONTS, CMD_HELP, CMD_PORT, INFO_TITLE,
                     STATUS, TEMPERATURE, Scenario, settings_file)

SETTINGS = settings_file(PORT_NR=7)
INK_AT_96 = 39  # the temperature "23.4 °C" in Arial 60 at 96 DPI


def body(s, t):
    t.step("the start-up information window at 144 DPI")
    s.dialog(INFO_TITLE, timeout=30)
    s.screenshot("info")
    s.close_dialog(INFO_TITLE, 1)
    s.wait_texts(timeout=30, temperature="23.4 °C")

    t.step("the main window: rectangle, gaps and fonts scaled by 1.5")
    left, top, right, bottom = s.rect(0)
    t.equal((left, top, right - left, bottom - top), (150, 150, 900, 600), "window rectangle")
    status = s.rect(STATUS)
    t.equal(status[0] - left >= 4, True, "the gap is scaled")
    ink = int(s.look(TEMPERATURE)["ink"])
    t.check(abs(ink - INK_AT_96 * 1.5) <= 4, "the value font is scaled", ink)
    s.screenshot("main")

    t.step("every window at 144 DPI")
    for command, title, shot in ((CMD_ABOUT, "O programie", "about"), (CMD_COLOURS, "Kolory", "colours"),
                                 (CMD_FONTS, "Czcionki", "fonts"), (CMD_ADDITIONAL, "Ustawienia dodatkowe", "additional"),
                                 (CMD_HELP, "Pomoc - HX350", "help"), (CMD_PORT, "Porty", "ports")):
        s.open_dialog(command, title)
        s.screenshot(shot)
        s.close_dialog(title, 1 if command == CMD_HELP else 2)
        t.passed(title)

    t.step("the settings file keeps 96-DPI units")
    s.command(CMD_CLOSE)
    s.wait_exit()
    ini = s.ini_path.read_bytes()
    for line in (b"WINDOW_LEFT=100", b"WINDOW_TOP=100", b"WINDOW_RIGHT=700", b"WINDOW_BOTTOM=500",
                 b"FONT_HEIGHT_TEMP=60"):
        t.check(line + b"\r\n" in ini, line.decode())


if __name__ == "__main__":
    sys.exit(Scenario("dpi", ini=SETTINGS, close_info=False, dpi=144).run(body))
