"""What accepting the recording settings does to the files.

The interval is an hour, so the only records are those that OK writes at once. An existing text file is continued (Yes)
with the comment block after an empty line; a separator change reopens the file and asks again, and No empties it; a
decimal comma (offered with the semicolon) reopens it too, and its numbers read 23,4. A binary file in a missing folder
gives the message and then the dialog again, where a good name is accepted. Switching both kinds off stops the
recording."""

import re
import sys

from harness import CMD_RECORDING, OK_4660, Scenario, settings_file
from records import binary_record, binary_stamp, split_binary

TITLE = "Rejestracja do pliku"
TEXT_ON, TEXT_FILE, COMMA, SEMICOLON, DECIMAL = 1026, 1036, 1124, 1125, 1126
COMMENT_ON, COMMENT, COMMENT_SERIAL, BINARY_ON, BINARY_FILE, OK = 1115, 1116, 1117, 1027, 1039, 1
YES, NO = 6, 7

RECORDING = "Rejestracja do pliku co 01:00:00. "
TEXT_EXISTS = "Plik rejestracji pomiarów już istnieje."  # the question's first line
BINARY_UNAVAILABLE = "Wybrany plik binarny jest niedostępny."

SETTINGS = settings_file(PORT_NR=7, FILE_INTERVAL=3600)
STAMP = re.compile(rb"\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d")
HEADER_BOTH = "Data i Godzina;Temperatura °C;Wilgotność %\r\n".encode("cp1250")
COMMENT_BLOCK = b"Hala 1\r\nHX-350 nr 4660\r\n"


def shape(data):
    """The text file with every time stamp replaced by D."""
    return STAMP.sub(b"D", data)


def file_becomes(s, t, path, expected, what):
    """Waits for the file (time stamps as D) to read as expected: it is written as the dialog's answer returns."""
    try:
        s.wait_condition(lambda: shape(path.read_bytes()) == expected, what, timeout=10)
        t.passed(what)
    except Exception:
        t.equal(shape(path.read_bytes()), expected, what)


def accept(s, t, *actions, answer=None, message=None):
    """Opens the dialog, clicks or types (ID or (ID, text)), presses OK and answers what follows."""
    s.open_dialog(CMD_RECORDING, TITLE)
    for action in actions:
        if isinstance(action, tuple):
            s.win("dialog-set-text", TITLE, *action)
        else:
            s.win("dialog-click", TITLE, action)
    s.win("dialog-click", TITLE, OK)
    if message is not None or answer is not None:
        t.equal(s.answer(answer or 1), message or TEXT_EXISTS, "message" if message else "existing-file question")
    if message is None:
        s.wait_no_dialog()


def body(s, t):
    text_path, binary_path = s.folder / "rec.csv", s.folder / "rec.hxg"
    text_path.write_bytes(b"old\r\n")
    s.wait_visible()
    s.wait_texts(timeout=20, status=OK_4660)
    s.wait_menu_enabled(CMD_RECORDING)

    t.step("an existing file continued: empty line, comment block, header, one record")
    accept(s, t, TEXT_ON, (TEXT_FILE, "rec.csv"), SEMICOLON, COMMENT_ON, (COMMENT, "Hala 1"), COMMENT_SERIAL,
           answer=YES)
    file_becomes(s, t, text_path, b"old\r\n\r\n" + COMMENT_BLOCK + HEADER_BOTH + b"D;23.4;45.6\r\n", "text file")
    s.wait_texts(status=OK_4660 + RECORDING)
    t.passed("status shows the interval")
    s.screenshot("recording")

    t.step("a separator change reopens the file and asks again; No empties it")
    accept(s, t, COMMA, answer=NO)
    file_becomes(s, t, text_path,
                 COMMENT_BLOCK + "Data i Godzina,Temperatura °C,Wilgotność %\r\n".encode("cp1250") + b"D,23.4,45.6\r\n",
                 "text file emptied and written anew")

    t.step("a decimal comma, offered with the semicolon, reopens the file: numbers as a Polish spreadsheet reads them")
    before = shape(text_path.read_bytes())
    accept(s, t, SEMICOLON, DECIMAL, answer=YES)
    file_becomes(s, t, text_path, before + b"\r\n" + COMMENT_BLOCK + HEADER_BOTH + b"D;23,4;45,6\r\n",
                 "text file continued with decimal commas")

    t.step("a binary file in a missing folder: the message, then the dialog again")
    before = text_path.read_bytes()
    accept(s, t, BINARY_ON, (BINARY_FILE, "brak\\rec.hxg"), message=BINARY_UNAVAILABLE)
    s.dialog(TITLE)
    t.passed("the dialog is shown again")
    s.win("dialog-set-text", TITLE, BINARY_FILE, "rec.hxg")
    s.win("dialog-click", TITLE, OK)
    s.wait_no_dialog()
    file_becomes(s, t, text_path, shape(before) + b"D;23,4;45,6\r\n" * 2, "the text file got a record at each OK")
    # The binary record follows the text record: wait for it rather than read the file at once.
    records = s.wait_condition(lambda: binary_path.exists() and split_binary(binary_path.read_bytes()),
                               "the binary record", timeout=10)
    t.equal(len(records), 1, "one binary record")
    t.equal(records[0], binary_record(binary_stamp(records[0]), 23.4, 45.6), "the binary record, byte for byte")

    t.step("both kinds off: the timer stops and the status says nothing of recording")
    accept(s, t, TEXT_ON, BINARY_ON)
    s.wait_texts(status=OK_4660)
    t.passed("status without the interval")


if __name__ == "__main__":
    sys.exit(Scenario("recording_settings", ini=SETTINGS, deadline=280).run(body))
