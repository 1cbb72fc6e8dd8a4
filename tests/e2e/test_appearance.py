"""Colours and fonts: each choice shows on the display behind the dialog at once; "Anuluj" and the close box put
back what was there, OK keeps it; the choices are saved at exit and shown again at the next start."""

import sys

from harness import CMD_CLOSE, CMD_COLOURS, CMD_FONTS, TEMPERATURE, Scenario, settings_file

SETTINGS = settings_file(PORT_NR=7, SHOW_ADV=0)


def look(s):
    return s.win("look", TEMPERATURE)[1]


def wait_look(s, what, **expected):
    def matches():
        pairs = dict(line.split("=", 1) for line in look(s))
        return pairs if all(pairs.get(k) == v for k, v in expected.items()) else None

    return s.wait_condition(matches, what, timeout=10)


def command(s, item):
    s.wait_condition(lambda: s.win("command", item, check=False)[0] == 0, "command %d posted" % item)


def choose_background(s, rgb):
    s.win("dialog-click", "Kolory", "1040")
    s.win("colour-dialog", *[str(v) for v in rgb])


def choose_font(s, sample, face, points):
    s.win("dialog-click", "Czcionki", str(sample))
    s.win("font-dialog", face, str(points))


def closed(s, title):
    s.wait_condition(lambda: s.win("dialog", "--title", title, "--timeout", "0", check=False)[0] != 0,
                     "%s closed" % title, timeout=15)


def body(s, t):
    s.wait_texts(timeout=30, temperature="23.4 °C")
    before = wait_look(s, "the settings' colours", background="CAE4FF", bar="004080")
    t.passed("starting colours")

    t.step("Kolory: a choice shows at once; Anuluj and the close box restore it")
    command(s, CMD_COLOURS)
    s.dialog("Kolory")
    choose_background(s, (255, 0, 0))
    wait_look(s, "the new background behind the dialog", background="FF0000")
    s.screenshot("colours_preview")
    s.win("dialog-press", "Kolory", "2")
    closed(s, "Kolory")
    wait_look(s, "the background restored by Anuluj", background="CAE4FF")
    command(s, CMD_COLOURS)
    s.dialog("Kolory")
    choose_background(s, (255, 0, 0))
    wait_look(s, "the new background", background="FF0000")
    s.win("dialog-close", "Kolory")
    closed(s, "Kolory")
    wait_look(s, "the background restored by the close box", background="CAE4FF")

    t.step("Kolory: OK keeps the choice")
    command(s, CMD_COLOURS)
    s.dialog("Kolory")
    choose_background(s, (0, 128, 0))
    s.win("dialog-press", "Kolory", "1")
    closed(s, "Kolory")
    wait_look(s, "the kept background", background="008000")

    t.step("Czcionki: a choice shows at once; Anuluj restores it, OK keeps it")
    command(s, CMD_FONTS)
    s.dialog("Czcionki")
    s.screenshot("fonts_dialog")
    choose_font(s, 1039, "DejaVu Serif", 72)
    def larger():
        pairs = dict(line.split("=", 1) for line in look(s))
        return pairs if int(pairs["ink"]) > int(before["ink"]) * 1.4 else None

    large = s.wait_condition(larger, "the larger font behind the dialog (before: %s)" % before["ink"])
    t.passed("preview")
    s.screenshot("fonts_preview")
    s.win("dialog-press", "Czcionki", "2")
    closed(s, "Czcionki")
    wait_look(s, "the font restored by Anuluj", ink=before["ink"])
    command(s, CMD_FONTS)
    s.dialog("Czcionki")
    choose_font(s, 1039, "DejaVu Serif", 72)
    s.win("dialog-press", "Czcionki", "1")
    closed(s, "Czcionki")
    # (The dialog's top edge lies over the display's lower rows until it is gone: a wait, not one measurement.)
    s.wait_condition(larger, "the kept font")
    s.screenshot("kept")

    t.step("saved at exit, shown again at the next start")
    s.command(CMD_CLOSE)
    s.wait_exit()
    ini = s.ini_path.read_bytes()
    t.check(b"BACKGROUND_TEMP=32768\r\n" in ini, "background saved")
    t.check(b"FONT_NAME_TEMP=DejaVu Serif\r\n" in ini and b"FONT_HEIGHT_TEMP=-96\r\n" in ini, "font saved", ini)
    s.start_program()
    s.wait_texts(timeout=30, temperature="23.4 °C")
    wait_look(s, "the saved colour at the next start", background="008000")
    s.wait_condition(larger, "the saved font at the next start")
    t.passed("loaded at start")


if __name__ == "__main__":
    sys.exit(Scenario("appearance", ini=SETTINGS).run(body))
