"""Recording at launch, every second, into files in a folder with a Polish name.

The settings name both files relative to the program's folder, in "pomiary_ćw" (Windows-1250 bytes in the
settings file; the prefix's code page is not 1250). The folder does not exist yet when the delayed start runs:
the status line says both files are unavailable, no message box waits for a click, and once the folder appears
(with a text file whose last line is torn and a binary file whose last record is cut short) the next tick
continues both. Records then follow every second with the simulator's values, "???" and value-less binary
records once the link is lost. A second run continues the files again, with a header line and no question. In a
third, with the binary file on a share that is gone, a tick while the text file's existing-file question waits
tries the binary name that failed, not the one just typed in the dialog."""

import sys

from harness import CMD_RECORDING, NO_LINK, OK_4660, Scenario, settings_file
from records import binary_record, consecutive_seconds, header_line, split_binary, text_records

TITLE = "Rejestracja do pliku"
COMMA, BINARY_FILE, OK, YES = 1124, 1039, 1, 6
FOLDER = "pomiary_ćw"
RECORDING = "Rejestracja do pliku co 00:00:01. "
BINARY_UNAVAILABLE = "Plik binarny jest niedostępny. "
UNAVAILABLE = "Plik rejestracji wyników pomiaru jest niedostępny. " + BINARY_UNAVAILABLE

OLD_TEXT = b"2024.03.05 14:07:09;21.5;45.2\r\n2024.03.05 14:07:10;21."
OLD_RECORD = binary_record((2024, 3, 5, 14, 7, 9), 21.5, 45.2, serial=1234)
OLD_BINARY = OLD_RECORD + OLD_RECORD[:20]

SETTINGS = settings_file(PORT_NR=7, FILE_LOG=1, FILE_LOG_BIN=1, FILE_SEP_FORMAT=2, FILE_INTERVAL=1,
                         FILE_NAME=FOLDER + "\\log.csv", FILE_NAME_BIN=FOLDER + "\\log.hxg")


def expected_binary(records):
    """The binary records that the text file's lines call for: the same time stamps, and groups only for values."""
    out = b""
    for stamp, values in records:
        good = values != "???;???"
        out += binary_record(stamp, 23.4 if good else None, 45.6 if good else None)
    return out


def records_in(path):
    return split_binary(path.read_bytes()) if path.exists() else []


def body(s, t):
    folder = s.folder / FOLDER
    text_path, binary_path = folder / "log.csv", folder / "log.hxg"

    t.step("the first ten seconds: recording not yet offered")
    s.wait_visible()
    s.wait_texts(timeout=20, status=OK_4660)
    t.equal(s.menu_state(CMD_RECORDING).get("enabled"), "0", "recording command grayed")

    t.step("delayed start with the folder missing: said in the status line, no message box")
    s.wait_texts(timeout=20, status=OK_4660 + RECORDING + UNAVAILABLE)
    t.passed("status names both unavailable files")
    t.equal(s.menu_state(CMD_RECORDING).get("enabled"), "1", "recording command enabled")
    t.check(s.no_dialog(), "no message box or dialog")

    t.step("the folder appears with torn files: the next tick continues both")
    folder.mkdir()
    text_path.write_bytes(OLD_TEXT)
    binary_path.write_bytes(OLD_BINARY)
    s.wait_texts(timeout=10, status=OK_4660 + RECORDING)
    t.passed("both files open")
    s.wait_condition(lambda: len(text_records(text_path.read_bytes())) >= 14, "twelve new records", timeout=30)
    s.screenshot("recording")

    t.step("link lost: records go on with ??? and without values")
    s.sim.send("silence")
    s.wait_texts(timeout=15, status=NO_LINK + RECORDING)
    count = len(text_records(text_path.read_bytes()))
    s.wait_condition(lambda: len(text_records(text_path.read_bytes())) >= count + 3, "three more records")
    s.close_program()

    t.step("the files hold exactly the records of the run")
    text = text_path.read_bytes()
    prefix = OLD_TEXT + b"\r\n" + header_line(2)
    t.equal(text[:len(prefix)], prefix, "old lines kept, torn line closed, then the header")
    new = text_records(text[len(prefix):])
    t.equal(text[len(prefix):], b"".join(b"%04d.%02d.%02d %02d:%02d:%02d;" % stamp + values.encode() + b"\r\n"
                                          for stamp, values in new), "nothing but record lines after the header")
    values = [v for _, v in new]
    good = values.count("23.4;45.6")
    t.expect(good >= 12 and values == ["23.4;45.6"] * good + ["???;???"] * (len(values) - good),
             "simulator values, then ??? once the link was lost", values)
    t.expect(consecutive_seconds([stamp for stamp, _ in new]), "time stamps one second apart",
             [stamp for stamp, _ in new])
    closed = OLD_BINARY + b"\xc0\x00\x00"
    binary = binary_path.read_bytes()
    t.equal(binary[:len(closed)], closed, "old record kept, torn record closed")
    t.equal(binary[len(closed):], expected_binary(new), "one binary record per text record, byte for byte")

    t.step("a second run continues both files at launch, with a header line and no question")
    sizes = (len(text), len(binary))
    s.sim.send("resume")
    s.start_program()
    s.wait_visible()
    s.wait_texts(timeout=25, status=OK_4660 + RECORDING)
    t.check(s.no_dialog(), "no question")
    s.wait_condition(lambda: len(text_records(text_path.read_bytes())) >= len(new) + 4, "new records")
    s.close_program()
    text, binary = text_path.read_bytes(), binary_path.read_bytes()
    t.equal(text[sizes[0]:sizes[0] + len(header_line(2))], header_line(2), "header line first")
    later = text_records(text[sizes[0]:])
    t.equal(binary[sizes[1]:], expected_binary(later), "binary records follow the old ones directly")

    t.step("a third run: a tick during the existing-file question opens no file the question has not reached")
    # The binary file is named on a share that is not there, so the ticks try it again; in the dialog its name
    # changes and a separator change brings the text file's question.
    s.ini_path.write_bytes(s.ini_path.read_bytes().replace(("=%s\\log.hxg" % FOLDER).encode("cp1250"),
                                                           b"=brak\\log.hxg"))
    s.start_program()
    s.wait_visible()
    s.wait_texts(timeout=25, status=OK_4660 + RECORDING + BINARY_UNAVAILABLE)
    s.command(CMD_RECORDING)
    s.dialog(TITLE)
    s.win("dialog-set-text", TITLE, BINARY_FILE, "nowy.hxg")
    s.win("dialog-click", TITLE, COMMA)
    s.win("dialog-click", TITLE, OK)
    t.equal(s.message_box().get("text"), "Plik rejestracji pomiarów już istnieje.", "the text file's question")
    # The share comes back while the question waits: the ticks continue the file under the name they were given.
    (s.folder / "brak").mkdir()
    s.wait_condition(lambda: records_in(s.folder / "brak" / "log.hxg"), "a tick writing into brak\\log.hxg")
    t.check(not (s.folder / "nowy.hxg").exists(), "nowy.hxg not opened before its turn")
    s.win("message-box", "--press", str(YES))
    s.wait_condition(lambda: records_in(s.folder / "nowy.hxg"), "a record in nowy.hxg once the question is answered")
    s.wait_no_dialog()
    t.passed("nowy.hxg opened after the answer, without a question of its own")
    s.close_program()


if __name__ == "__main__":
    sys.exit(Scenario("recording", ini=SETTINGS).run(body))
