"""The recording settings dialog, opened from the menu once the delayed start has enabled it.

The settings name a text file with Polish letters (Windows-1250 bytes) and an interval beyond a day. Inside the
dialog: the groups follow their check boxes and keep their values, OK asks for a column only while text recording
is on, the picker turns 00:00:00 into 00:00:01 when it loses the focus, a browsed name without extension takes the
selected filter's, and names the settings cannot keep (a character outside Windows-1250, a semicolon) are refused
with the focus back on the name, also the name of a kind switched off. A binary-only recording is accepted with
Enter in its name; the dialog opened again shows what was accepted (the comment with "?" for what Windows-1250
lacks), and the settings file saved at exit holds it."""

import sys

from harness import CMD_CLOSE, CMD_RECORDING, Scenario, settings_file, windows_path

TITLE = "Rejestracja do pliku"
INTERVAL = 1045
TEXT_ON, TEXT_LABEL, TEXT_FILE, TEXT_BROWSE = 1026, 1048, 1036, 1038
SEPARATOR_LABEL, TAB, COMMA, SEMICOLON, DECIMAL = 1051, 1123, 1124, 1125, 1126
TEMPERATURE, HUMIDITY = 1046, 1008
COMMENT_ON, COMMENT, COMMENT_SERIAL = 1115, 1116, 1117
BINARY_ON, BINARY_LABEL, BINARY_FILE, BINARY_BROWSE = 1027, 1053, 1039, 1040
OK = 1

TEXT_GROUP = (TEXT_BROWSE, TAB, COMMA, SEMICOLON, TEXT_FILE, TEXT_LABEL, SEPARATOR_LABEL, TEMPERATURE, HUMIDITY,
              COMMENT_ON)
COMMENT_PART = (COMMENT_SERIAL, COMMENT)
BINARY_GROUP = (BINARY_BROWSE, BINARY_FILE, BINARY_LABEL)

NO_COLUMN = "Wybierz przynajmniej jedną wielkość do zapisu"
UNSUPPORTED = ("Nazwa pliku zawiera znaki, których program nie może zapisać w ustawieniach: ж, а, р. "
               "Wybierz nazwę bez tych znaków.")
SEMICOLON_REFUSED = ("Nazwa pliku zawiera średnik (;), którego program nie może zapisać w ustawieniach. "
                     "Wybierz nazwę bez średnika.")


LOADED_NAME = "C:\\Pomiary\\Pomiary hali – łódź.txt"
SETTINGS = settings_file(PORT_NR=7, FILE_NAME=LOADED_NAME, FILE_SEP_FORMAT=1, FILE_INTERVAL=100000,
                         FILE_CHECK_COMMENT=1)


def control(s, ident):
    return s.control(TITLE, ident)


def click(s, *idents):
    for ident in idents:
        s.win("dialog-click", TITLE, ident)


def states(s, idents, key):
    return {ident: control(s, ident).get(key) for ident in idents}


def expect_enabled(s, t, idents, enabled, what):
    value = "1" if enabled else "0"
    t.equal(states(s, idents, "enabled"), {ident: value for ident in idents}, what)


def picker(s):
    return s.win("picker-get", TITLE, INTERVAL)[1]


def refused(s, t, message, what):
    """OK is refused with `message`; the dialog stays open."""
    click(s, OK)
    s.message_box()
    s.screenshot(what.replace(" ", "_"))
    t.equal(s.answer(), message, what)
    t.check(s.find_dialog(TITLE, 0)[0] == 0, "the dialog is still open")


def ini_values(data):
    return {key.decode(): value for key, value in (line.split(b"=", 1) for line in data.split(b"\r\n") if b"=" in line)}


def body(s, t):
    folder = windows_path(s.folder)

    t.step("the menu item comes with the delayed start and opens the dialog")
    s.wait_visible()
    s.wait_menu_enabled(CMD_RECORDING)
    s.open_dialog(CMD_RECORDING, TITLE)
    s.screenshot("open")

    t.step("the settings as loaded")
    t.equal(control(s, TEXT_FILE).get("text"), LOADED_NAME, "text file name")
    t.equal(states(s, (TEXT_ON, BINARY_ON, TEMPERATURE, HUMIDITY, COMMENT_ON, TAB, COMMA, SEMICOLON), "checked"),
            {TEXT_ON: "0", BINARY_ON: "0", TEMPERATURE: "1", HUMIDITY: "1", COMMENT_ON: "1", TAB: "0", COMMA: "1",
             SEMICOLON: "0"}, "check boxes and separator")
    expect_enabled(s, t, TEXT_GROUP + COMMENT_PART, False, "text group disabled")
    expect_enabled(s, t, BINARY_GROUP, False, "binary group disabled")
    expect_enabled(s, t, (INTERVAL, TEXT_ON, BINARY_ON, OK, 2), True, "interval, switches and buttons enabled")
    t.equal(picker(s), ["time=23:59:59"], "an interval beyond a day shows as the largest")

    t.step("the groups follow their check boxes and keep their values")
    click(s, TEXT_ON)
    t.equal(control(s, TEXT_ON).get("checked"), "1", "text recording ticked")
    expect_enabled(s, t, TEXT_GROUP + COMMENT_PART, True, "text group and comment part enabled")
    click(s, COMMENT_ON)
    expect_enabled(s, t, COMMENT_PART, False, "comment part disabled with its check box")
    click(s, TEXT_ON)
    expect_enabled(s, t, TEXT_GROUP + COMMENT_PART, False, "text group disabled again")
    click(s, TEXT_ON)
    expect_enabled(s, t, TEXT_GROUP, True, "text group enabled again")
    expect_enabled(s, t, COMMENT_PART, False, "comment part still off")
    click(s, COMMENT_ON)
    expect_enabled(s, t, COMMENT_PART, True, "comment part enabled with its check box")
    expect_enabled(s, t, (DECIMAL,), False, "no decimal comma with the comma separator")
    t.equal(control(s, TEXT_FILE).get("text"), LOADED_NAME, "text file name kept")
    t.equal(states(s, (COMMA, TEMPERATURE, HUMIDITY), "checked"), {COMMA: "1", TEMPERATURE: "1", HUMIDITY: "1"},
            "separator and columns kept")
    for enabled in (True, False, True):
        click(s, BINARY_ON)
        expect_enabled(s, t, BINARY_GROUP, enabled, "binary group %s" % ("enabled" if enabled else "disabled"))

    t.step("OK asks for a column while text recording is on")
    click(s, TEMPERATURE, HUMIDITY)
    refused(s, t, NO_COLUMN, "no column")

    t.step("the picker turns 00:00:00 into 00:00:01 when it loses the focus")
    s.win("dialog-focus", TITLE, INTERVAL)
    s.win("picker-set", TITLE, INTERVAL, "00:00:00")
    t.equal(picker(s), ["time=00:00:00"], "picker set")
    s.win("dialog-focus", TITLE, TEXT_FILE)
    t.equal(picker(s), ["time=00:00:01"], "after the focus left")

    t.step("a browsed name without extension takes the second filter's .csv")
    click(s, TEXT_BROWSE)
    s.dialog("Wybierz plik raportu")
    s.screenshot("browse")
    s.win("file-dialog", "Wybierz plik raportu", folder + "\\raport", "2")
    browsed = folder + "\\raport.csv"
    s.wait_condition(lambda: control(s, TEXT_FILE).get("text") == browsed, "the browsed name in the edit")
    t.passed("text file name %s" % browsed)

    t.step("names the settings cannot keep are refused, the focus back on the name")
    click(s, TEMPERATURE)
    s.win("dialog-set-text", TITLE, TEXT_FILE, folder + "\\жара.csv")
    refused(s, t, UNSUPPORTED, "character outside Windows-1250")
    s.wait_condition(lambda: control(s, TEXT_FILE).get("focused") == "1", "the focus on the text file name")
    t.passed("focus on the text file name")
    s.win("dialog-set-text", TITLE, TEXT_FILE, browsed)
    click(s, BINARY_ON)
    s.win("dialog-set-text", TITLE, BINARY_FILE, folder + "\\a;b.hxg")
    refused(s, t, SEMICOLON_REFUSED, "semicolon in the name of a kind switched off")
    s.wait_condition(lambda: control(s, BINARY_ON).get("focused") == "1", "the focus on the binary check box")
    t.passed("focus on the binary check box")
    click(s, BINARY_ON)

    t.step("a binary-only recording without columns is accepted with Enter in its name")
    click(s, SEMICOLON)
    expect_enabled(s, t, (DECIMAL,), True, "a decimal comma offered with the semicolon")
    click(s, COMMENT_SERIAL)
    s.win("dialog-set-text", TITLE, COMMENT, "Hala № 5 – pomiar ąę")
    click(s, TEMPERATURE, TEXT_ON)
    binary = folder + "\\Pomiary łódź.hxg"
    s.win("dialog-set-text", TITLE, BINARY_FILE, binary)
    s.win("dialog-enter", TITLE, BINARY_FILE)
    s.closed(TITLE)
    t.passed("the dialog closed with OK")

    t.step("the dialog opened again shows what was accepted")
    s.wait_no_dialog()
    s.open_dialog(CMD_RECORDING, TITLE)
    s.screenshot("reopened")
    t.equal(control(s, BINARY_FILE).get("text"), binary, "binary file name")
    t.equal(control(s, TEXT_FILE).get("text"), browsed, "text file name")
    t.equal(control(s, COMMENT).get("text"), "Hala ? 5 – pomiar ąę", "comment in Windows-1250")
    t.equal(picker(s), ["time=00:00:01"], "interval")
    t.equal(states(s, (TEXT_ON, BINARY_ON, TEMPERATURE, HUMIDITY, COMMENT_ON, COMMENT_SERIAL, SEMICOLON), "checked"),
            {TEXT_ON: "0", BINARY_ON: "1", TEMPERATURE: "0", HUMIDITY: "0", COMMENT_ON: "1", COMMENT_SERIAL: "1",
             SEMICOLON: "1"}, "check boxes and separator")
    s.close_dialog(TITLE)

    t.step("the settings file keeps the accepted values as Windows-1250 bytes")
    s.command(CMD_CLOSE)
    t.check(s.wait_exit(), "the program exited")
    values = ini_values(s.ini_path.read_bytes())
    expected = {
        "FILE_NAME": browsed.encode("cp1250"),
        "FILE_NAME_BIN": binary.encode("cp1250"),
        "FILE_LOG": b"0",
        "FILE_LOG_BIN": b"1",
        "FILE_SEP_FORMAT": b"2",
        "FILE_INTERVAL": b"1",
        "FILE_TEMP": b"0",
        "FILE_RH": b"0",
        "FILE_CHECK_COMMENT": b"1",
        "FILE_CHECK_COMMENT_SN": b"1",
        "FILE_DECIMAL_COMMA": None,  # never set: not written
    }
    t.equal({key: values.get(key) for key in expected}, expected, "section LOG")


if __name__ == "__main__":
    sys.exit(Scenario("recording_dialog", ini=SETTINGS, deadline=280).run(body))
