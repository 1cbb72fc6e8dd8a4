"""The auxiliary windows: the software information window at start with the port dialog waiting for it, About
(menu and system menu) with its links, "Program MVX", "Ustawienia dodatkowe" saved as SHOW_ADV, and help (menu
and F1) opening at its first section in a window of its own beside the main window, one at a time. A close asked
for while a dialog is open ends the dialog and the program, and the settings are saved.

The settings name no port, so the start schedules the port dialog; it must wait until the information window of
the start is closed.

Then the settings survive the end of the session: COM7 is chosen in "Porty" and the window is moved, the
end-of-session pair that Windows sends at logoff arrives and the process is killed, as the session's end does; the
settings file holds the new port and position. Made read-only, the file is read at the next start (COM7 opens, no
port dialog) and left byte for byte as it was at exit, with no message."""

import os
import subprocess
import sys

from harness import (CMD_ABOUT, CMD_ADDITIONAL, CMD_CLOSE, CMD_HELP, CMD_SOFTWARE_INFO, CMD_TOPMOST, INFO_TITLE,
                     OK_4660, SIM_PORT, SYSCMD_ABOUT, Scenario, settings_file)


HELP_TITLE = "Pomoc - HX350"
# The first line of the message; the screenshot shows the rest ("The specified file was not found.").
LINK_ERROR = "Unable to open hyperlink:"


def help_windows(s):
    """The visible help windows on the session's display."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % HELP_TITLE], env=s.env,
                           capture_output=True, text=True, timeout=60)
    return found.stdout.split()


MAIL_COMMAND = r"HKLM\Software\Classes\mailto\shell\open\command"


def reg(s, *args):
    result = subprocess.run(["wine", "reg"] + list(args), env=s.env, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, timeout=120, check=True)
    return result.stdout.decode("utf-8", "replace")


def default_value(s, key):
    for line in reg(s, "query", key).splitlines():
        if "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1].strip()
    return None


def body(s, t):
    t.step("the software information window opens at start; the port dialog waits for it")
    info = s.dialog(INFO_TITLE, timeout=30)
    t.equal(info["statics"].get(1130), "Kliknij, aby uzyskać więcej informacji w internecie", "link text")
    lines = s.win("dialog", "--title", INFO_TITLE)[1]
    t.check("rich 1076=Oprogramowanie MVX" in lines, "the document starts with its first heading", lines)
    s.screenshot("info_at_start")
    t.check(s.no_dialog("Porty", timeout=3), "no port dialog while the information window is open")
    s.close_dialog(INFO_TITLE, 1)
    s.dialog("Porty", timeout=20)
    t.passed("the port dialog follows")
    s.close_dialog("Porty", 2)

    t.step("About from the menu and from the system menu")
    s.open_dialog(CMD_ABOUT, "O programie")
    lines = s.win("dialog", "--title", "O programie")[1]
    t.check("static -1=HX350 Wersja 3.07" in lines, "version", lines)
    t.check("static 1113=email: kontakt@hx350.example" in lines, "e-mail link text", lines)
    s.screenshot("about")
    s.close_dialog("O programie", 1)
    s.win("syscommand", SYSCMD_ABOUT)
    s.dialog("O programie")
    t.passed("the system menu's About item opens it")

    t.step("a link that cannot be opened says why")
    # Mail links lead for a while to a program that is not there (Wine's HKCR is the machine's classes); the
    # prefix registers no .htm command, so the fallback finds nothing either.
    mail_command = default_value(s, MAIL_COMMAND)
    t.check(mail_command, "the prefix's mail command", mail_command)
    reg(s, "add", MAIL_COMMAND, "/ve", "/d", r"C:\nowhere\mail.exe %1", "/f")
    try:
        s.win("dialog-click", "O programie", "1113")
        s.message_box()
        s.screenshot("link_error")
        t.equal(s.answer(), LINK_ERROR, "message")
    finally:
        reg(s, "add", MAIL_COMMAND, "/ve", "/d", mail_command, "/f")
    s.close_dialog("O programie", 1)

    t.step("Program MVX shows the information window on request")
    s.open_dialog(CMD_SOFTWARE_INFO, INFO_TITLE)
    t.passed("shown")
    s.close_dialog(INFO_TITLE, 1)

    t.step("Ustawienia dodatkowe: Anuluj keeps, OK saves the switch")
    for button, what in ((2, "unchecked"), (1, "Anuluj changed nothing")):
        s.open_dialog(CMD_ADDITIONAL, "Ustawienia dodatkowe")
        t.equal(s.control("Ustawienia dodatkowe", 1131).get("checked"), "0", what)
        s.screenshot("additional_settings")
        s.win("dialog-click", "Ustawienia dodatkowe", "1131")
        s.close_dialog("Ustawienia dodatkowe", button)

    t.step("help opens at its first section, from the menu and with F1, beside the main window")
    s.open_dialog(CMD_HELP, HELP_TITLE)
    lines = s.win("dialog", "--title", HELP_TITLE)[1]
    t.check("rich 1141=Okno główne i menu" in lines, "the view starts at the main window's section", lines[:6])
    t.check("list 1140=0" in lines, "its entry selected")
    t.equal(s.enabled(0), True, "the main window takes input beside help")
    s.screenshot("help")
    s.close_dialog(HELP_TITLE, 1)
    s.win("help-key")
    s.dialog(HELP_TITLE)
    t.passed("F1 opens help")
    s.command(CMD_HELP)

    t.step("closed while About is open and help beside it: the program ends and saves SHOW_ADV=0")
    s.open_dialog(CMD_ABOUT, "O programie")
    # The commands are handled in order, so help has been asked for again by now.
    t.equal(len(help_windows(s)), 1, "help asked for again: still one help window")
    s.win("close")
    s.wait_exit()
    t.check(b"SHOW_ADV=0\r\n" in s.ini_path.read_bytes(), "SHOW_ADV=0 saved")

    t.step("the next start shows no information window")
    s.start_program()
    s.dialog("Porty", timeout=30)
    t.check(s.no_dialog(INFO_TITLE), "no information window at start")

    t.step("a port is chosen and the window moved")
    s.win("port-dialog-select", "COM%d" % SIM_PORT)
    s.win("dialog-press", "Porty", "1")
    s.wait_no_dialog()
    s.wait_texts(timeout=20, status=OK_4660)
    s.win("move", "50", "60", "650", "460")
    s.wait_condition(lambda: s.rect(0) == (50, 60, 650, 460), "the window at its new place")

    t.step("logoff: the session's end is answered, then the process is killed")
    t.equal(s.win("end-session")[1], ["query=1"], "the program lets the session end")
    s.kill_program()
    t.equal(s.ini_path.read_bytes(), settings_file(PORT_NR=SIM_PORT, SHOW_ADV=0, WINDOW_LEFT=50, WINDOW_TOP=60,
                                                   WINDOW_RIGHT=650, WINDOW_BOTTOM=460),
            "hx350cfg.ini holds the new port and position")

    t.step("a read-only settings file is read and left as it is")
    before = s.ini_path.read_bytes()
    os.chmod(s.ini_path, 0o444)
    s.start_program()
    s.wait_visible()
    s.wait_texts(timeout=20, status=OK_4660)
    t.check(s.no_dialog(), "COM7 from the file opened: no port dialog")
    s.command(CMD_TOPMOST)
    s.command(CMD_CLOSE)
    s.wait_exit()
    t.equal(s.ini_path.read_bytes(), before, "hx350cfg.ini unchanged")
    os.chmod(s.ini_path, 0o644)


if __name__ == "__main__":
    sys.exit(Scenario("windows", ini=settings_file(), close_info=False, deadline=260).run(body))
