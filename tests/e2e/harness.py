"""End-to-end harness for HX350.exe under Wine.

A Session is one run of the program: its own Xvfb display, its own folder with a copy of HX350.exe (so its own
hx350cfg.ini), the instrument simulator on a pty that the slot's Wine prefix sees as COM7, and the program
started with the pty preload library; it is read and driven through hx350-win.exe under the same wineserver, and
torn down in Session.stop(), also when a check fails. Two scenarios run at a time, each in a slot (a Wine prefix,
so a wineserver, and its COM7 symlink) that CTest hands out (resource "wine", resources.json); run by hand, a
scenario takes the first free slot. HX350_LONG=1 (bash tools/test.sh --long) runs the long scenarios at their
full length. Waiting is always on a condition with a deadline (wait_until), never a fixed sleep.

Command line (used by CTest): harness.py make-prefix --mingw DIR --sim PATH --shim PATH --work DIR
"""

import argparse
import ctypes
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

SIM_PORT = 7  # the COM port that the prefix maps to the simulator's pty (through a stable symlink)
PREFIX_STAMP = "hx350-e2e-prefix v2 COM7"
SLOTS = 2  # scenarios that may run at once; tests/e2e/resources.json offers as many
WIN_NOT_FOUND = 3  # hx350-win's "no such window" (or timed out)
LONG = os.environ.get("HX350_LONG") == "1"

# Debian's Wine has no preloader, and its loader is not position-independent: it sits at 0x7d000000, and Linux
# (6.9 and later) puts such a program's heap anywhere in the 1 GB above it. About one Wine start in 500 finds its
# heap on the page where Wine maps the shared user data (0x7ffe0000) and ends at once with exit code 1, silently
# under WINEDEBUG=-all ("failed to map the shared user data: c0000018"). Every process started from here inherits
# a layout without randomization, where the heap follows the loader directly.
ADDR_NO_RANDOMIZE = 0x0040000
_libc = ctypes.CDLL(None, use_errno=True)
_libc.personality(_libc.personality(0xFFFFFFFF) | ADDR_NO_RANDOMIZE)


def length(default, long):
    """A scenario's length: what finds its faults by default, the full length under HX350_LONG=1."""
    return long if LONG else default


STATUS, TEMPERATURE, HUMIDITY = 1002, 1003, 1007
CMD_PORT, CMD_CLOSE, CMD_TOPMOST = 32771, 32783, 32772
CMD_PLOT, CMD_COLOURS, CMD_FONTS, CMD_ADDITIONAL = 32795, 32780, 32781, 32797
CMD_HELP, CMD_SOFTWARE_INFO, CMD_ABOUT, SYSCMD_ABOUT = 32778, 32798, 32779, 16
CMD_RECORDING = 32773
INFO_TITLE = "Pracownia HX350 - promocja MVX"
OK_4660 = "HX-350 nr 4660. Pomiar prawidłowy. "
NO_LINK = "Brak komunikacji z urządzeniem. "
NO_PORT = "Aktualnie żaden port nie jest używany"
PORT_GONE = NO_LINK + "Port COM%d jest niedostępny. " % SIM_PORT
MINIMAL_SETTINGS = b"[GENERAL]\r\nPORT_NR=7\r\n"

# Every key of hx350cfg.ini with the value a first run writes, section by section (the core tests' file).
DEFAULT_SETTINGS = []
for _line in (Path(__file__).parent.parent / "data" / "settings" / "first_run.ini").read_bytes().decode().split("\r\n"):
    if _line.startswith("["):
        DEFAULT_SETTINGS.append((_line[1:-1], []))
    elif _line:
        DEFAULT_SETTINGS[-1][1].append(tuple(_line.split("=", 1)))


def settings_file(sections=("TEMP", "RH", "GENERAL", "LOG"), **changes):
    """hx350cfg.ini bytes as a first run writes them, with the given keys changed (texts in Windows-1250), the
    sections in the given order (a rewrite keeps the order a file had)."""
    lines = []
    for section, keys in sorted(DEFAULT_SETTINGS, key=lambda entry: sections.index(entry[0])):
        lines.append("[%s]" % section)
        lines += ["%s=%s" % (key, changes.pop(key, value)) for key, value in keys]
    if changes:
        raise ValueError("unknown settings keys %s" % sorted(changes))
    return ("\r\n".join(lines) + "\r\n").encode("cp1250")


class CheckFailed(Exception):
    pass


class Config:
    """Where the built programs are and where the tests may write."""

    def __init__(self, mingw, sim, shim, work, decode=None, slot=0):
        self.mingw = Path(mingw)
        self.exe = self.mingw / "HX350.exe"
        self.win_tool = self.mingw / "tests" / "win" / "hx350-win.exe"
        self.plot_standin = self.mingw / "tests" / "win" / "plot-standin.exe"
        self.dde_tool = self.mingw / "tools" / "hx350-dde.exe"
        self.sim, self.shim = Path(sim), Path(shim)
        self.decode = Path(decode) if decode else None
        self.work = Path(work)
        self.screenshots = self.work / "screenshots"
        self.use_slot(slot)

    def use_slot(self, slot):
        self.slot = slot
        self.prefix = self.work / ("slot%d" % slot) / "prefix"
        self.sim_link = self.work / ("slot%d" % slot) / "ports" / ("com%d" % SIM_PORT)

    def claim_slot(self):
        """Takes the slot CTest allocated (or, outside CTest, the first free one) and holds it until exit."""
        allocated = os.environ.get("CTEST_RESOURCE_GROUP_0_WINE")
        wanted = [int(dict(p.split(":") for p in allocated.split(","))["id"])] if allocated else range(SLOTS)
        self.work.mkdir(parents=True, exist_ok=True)
        while True:
            for slot in wanted:
                lock = open(self.work / ("slot%d.lock" % slot), "w")
                try:
                    fcntl.flock(lock, fcntl.LOCK_EX | (0 if allocated else fcntl.LOCK_NB))
                except BlockingIOError:
                    lock.close()
                    continue
                self._slot_lock = lock
                self.use_slot(slot)
                log("slot %d: prefix %s" % (slot, self.prefix))
                return slot
            time.sleep(1)

    @staticmethod
    def add_arguments(parser):
        parser.add_argument("--mingw", required=True, help="MinGW build folder (HX350.exe, tests/win/hx350-win.exe)")
        parser.add_argument("--sim", required=True, help="hx350-sim")
        parser.add_argument("--shim", required=True, help="libhx350ptyshim.so")
        parser.add_argument("--decode", help="hx350-decode")
        parser.add_argument("--work", required=True, help="folder for the prefix, test folders and screenshots")

    @classmethod
    def from_arguments(cls, args):
        return cls(args.mingw, args.sim, args.shim, args.work, args.decode)


def log(message):
    print(message, flush=True)


def wait_until(predicate, timeout, what, interval=0.2):
    """Polls predicate() until it returns a true value, which is returned; raises CheckFailed after timeout
    seconds, naming what was awaited and the last value seen."""
    deadline = time.monotonic() + timeout
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise CheckFailed("timed out after %.0f s waiting for %s (last: %r)" % (timeout, what, last))
        time.sleep(interval)


def wine_environment(prefix, display):
    env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEARCH="win64",
               WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=":%d" % display)
    env.pop("LD_PRELOAD", None)
    return env


def run_wine(env, args, timeout=60):
    """Runs a Windows program to its end: (exit code, output lines without CR, stderr text). Its output goes
    through files, not pipes: if this happens to be the Wine process that starts the wineserver and its services,
    they inherit its stdout and stderr, and a pipe would never see its end. Exit code 1 with no word is Wine's own,
    for a program it could not start, never the program's answer (ours say why they end with 1): it fails."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(["wine"] + [str(a) for a in args], env=env, stdout=out, stderr=err,
                                   stdin=subprocess.DEVNULL)
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise CheckFailed("%s did not finish within %d s" % (" ".join(map(str, args)), timeout))
        out.seek(0)
        err.seek(0)
        stdout, stderr = (f.read().decode("utf-8", "replace") for f in (out, err))
    if code == 1 and not stdout.strip() and not stderr.strip():
        raise CheckFailed("%s: Wine did not start it (exit code 1, no word)" % Path(str(args[0])).name)
    return code, [line.rstrip("\r") for line in stdout.split("\n") if line.strip()], stderr.replace("\r", "")


class Background:
    """A Windows program running while the scenario goes on, its output read from a file."""

    def __init__(self, env, folder, name, args):
        self.out_path, self.err_path = folder / (name + ".out"), folder / (name + ".err")
        self.out, self.err = open(self.out_path, "wb"), open(self.err_path, "wb")
        self.process = subprocess.Popen(["wine"] + [str(a) for a in args], env=env, stdout=self.out, stderr=self.err,
                                        stdin=subprocess.DEVNULL, start_new_session=True)

    def lines(self):
        return [line.rstrip("\r") for line in self.out_path.read_bytes().decode("utf-8", "replace").split("\n")
                if line.strip()]

    def stderr(self):
        return self.err_path.read_bytes().decode("utf-8", "replace").replace("\r", "")

    def wait_exit(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise CheckFailed("%s did not end within %d s" % (self.out_path.stem, timeout))

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.out.close()
        self.err.close()


class Xvfb:
    """A private X server on a display number that the server picks itself (-displayfd): a number chosen here could
    be taken by another run between the check and the server's start, and our programs would then draw on that
    run's server.

    -noreset: by default the server resets when its last client disconnects, and a client connecting during the
    reset is turned away; Wine then ends that process with exit code 1 and, under WINEDEBUG=-all, says nothing
    (seen as a Plot.exe export or an hx350-win call that failed at once, right after the program was killed)."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write_end,), start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()  # written once the server accepts connections
        if not number.isdigit() or self.process.poll() is not None:
            stop_process(self.process)
            raise CheckFailed("Xvfb did not start")
        self.display = int(number)

    def stop(self):
        stop_process(self.process)
        self.process = None


def stop_process(process, timeout=10):
    """Ends a process we started (SIGTERM, then SIGKILL), and reaps it."""
    if process is None or process.poll() is not None:
        return
    try:
        process.terminate()
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=timeout)


def quiet(args, env, timeout=60, check=False):
    return subprocess.run(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout,
                          check=check)


def stop_wineserver(env):
    quiet(["wineserver", "-k"], env)
    quiet(["wineserver", "-w"], env)


def make_prefix(config):
    """Creates each slot's Wine prefix once (reused while its stamp matches) with COM7 mapped to the slot's stable
    symlink, which each test points at its own simulator. The first is made by Wine, the others are copies of it
    with their own mapping."""
    first, own = None, config.slot
    for slot in range(SLOTS):
        config.use_slot(slot)
        stamp = config.prefix / ".hx350-e2e"
        config.sim_link.parent.mkdir(parents=True, exist_ok=True)
        if stamp.exists() and stamp.read_text() == PREFIX_STAMP and (config.prefix / "system.reg").exists():
            log("reusing Wine prefix %s" % config.prefix)
        else:
            if config.prefix.exists():
                shutil.rmtree(config.prefix)
            started = time.monotonic()
            if first is None:
                boot_prefix(config)
            else:
                # Not the wineserver's own file: it names the folder of the first prefix's server.
                shutil.copytree(first.prefix, config.prefix, symlinks=True,
                                ignore=shutil.ignore_patterns("wineserver"))
                registry = config.prefix / "system.reg"
                registry.write_bytes(registry.read_bytes().replace(str(first.sim_link).encode(),
                                                                   str(config.sim_link).encode()))
                name_server_folder(config)
            stamp.write_text(PREFIX_STAMP)
            log("created Wine prefix %s in %.1f s" % (config.prefix, time.monotonic() - started))
        if first is None:
            first = Config(config.mingw, config.sim, config.shim, config.work, slot=slot)
    config.use_slot(own)


def name_server_folder(config):
    """Debian's Wine keeps its server's folder under a random name, which the first Wine process in a prefix picks
    and writes to the prefix's file `wineserver`. Two processes starting at once in a fresh prefix (a scenario's
    program and its first hx350-win call) each pick one; the one whose name was not written ends with exit code 1
    ("chdir to /tmp/wine-.../server-...: No such file or directory"). So a server started alone names it here."""
    env = wine_environment(config.prefix, 0)
    quiet(["wineserver", "-p0"], env, check=True)
    stop_wineserver(env)
    if not (config.prefix / "wineserver").is_file():
        raise CheckFailed("the Wine server did not name its folder in %s" % config.prefix)


def boot_prefix(config):
    xvfb = Xvfb()
    env = wine_environment(config.prefix, xvfb.display)
    try:
        quiet(["wineboot", "-i"], env, timeout=300)
        quiet(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM%d" % SIM_PORT, "/d",
               str(config.sim_link), "/f"], env, timeout=120, check=True)
    finally:
        # The registry is on disk, and the port mapping is read, once the wineserver has ended.
        stop_wineserver(env)
        xvfb.stop()


def mark_port_absent(config):
    """Points the simulator's COM mapping at a folder, which cannot be opened as a port: what a Windows program
    meets when the adapter is unplugged. (A mapping whose device is missing still opens under Wine.)"""
    absent = config.work / "absent-device"
    absent.mkdir(parents=True, exist_ok=True)
    if config.sim_link.is_symlink() or config.sim_link.exists():
        config.sim_link.unlink()
    config.sim_link.parent.mkdir(parents=True, exist_ok=True)
    config.sim_link.symlink_to(absent)


class Simulator:
    """hx350-sim on a new pty, with COM7's symlink pointed at it and a FIFO for live commands."""

    def __init__(self, config, folder, args):
        self.config = config
        self.control, self.log_path = folder / "sim.ctl", folder / "sim.log"
        if config.sim_link.is_symlink() or config.sim_link.exists():
            config.sim_link.unlink()
        self.log_file = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            [str(config.sim), "--link", str(config.sim_link), "--control", str(self.control), "--verbose"] + list(args),
            stdout=subprocess.PIPE, stderr=self.log_file, start_new_session=True)
        self.pty = self.process.stdout.readline().decode().strip()
        if not self.pty.startswith("/dev/") or os.readlink(config.sim_link) != self.pty:
            raise CheckFailed("the simulator did not start (see %s)" % self.log_path)
        wait_until(self.control.exists, 5, "the simulator's control FIFO")

    def send(self, *commands):
        """Command lines to the running simulator (see hx350-sim --help)."""
        fd = os.open(self.control, os.O_WRONLY | os.O_NONBLOCK)
        try:
            for command in commands:  # one write each: a raw command may fill most of a pipe buffer
                os.write(fd, (command + "\n").encode())
        finally:
            os.close(fd)

    def logged(self, kind):
        """The hex of the lines of this kind ("line", "damaged", ...) that the simulator logged as written."""
        prefix = "hx350-sim: %s " % kind
        return [line[len(prefix):].replace(" ", "") for line in self.log_path.read_text(errors="replace").splitlines()
                if line.startswith(prefix)]

    def line_count(self):
        """Good lines the simulator has written so far."""
        return self.log_path.read_bytes().count(b"hx350-sim: line ")

    def stop(self):
        """Ends the simulator: its pty goes away, and the COM mapping then leads to no device."""
        if self.process and self.process.poll() is None:
            try:
                self.send("quit")
                self.process.wait(timeout=5)
            except (OSError, subprocess.TimeoutExpired):
                pass
        stop_process(self.process)
        if self.process and self.process.stdout:
            self.process.stdout.close()
        self.log_file.close()
        self.process = None
        mark_port_absent(self.config)


class Session:
    """One run of HX350.exe in its own folder, with its own display and simulator."""

    def __init__(self, config, name, ini=None, sim_args=(), with_simulator=True, close_info=True, dpi=96,
                 autostart=True):
        self.config, self.name = config, name
        self.folder = config.work / "tests" / name
        self.ini_path = self.folder / "hx350cfg.ini"
        self.initial_ini, self.sim_args, self.with_simulator = ini, sim_args, with_simulator
        # Scenarios about other things close the software information window that a start may show.
        self.close_info, self.dpi, self.autostart = close_info, dpi, autostart
        self.xvfb = self.sim = self.program = self.program_log = self.env = self.exit_code = None

    # ----- lifecycle -----

    def start(self):
        if self.folder.exists():
            shutil.rmtree(self.folder)
        self.folder.mkdir(parents=True)
        self.config.screenshots.mkdir(parents=True, exist_ok=True)
        for old in self.config.screenshots.glob(self.name + "_*.png"):
            old.unlink()
        shutil.copy2(self.config.exe, self.folder / "HX350.exe")
        if self.initial_ini is not None:
            self.ini_path.write_bytes(self.initial_ini)
        self.xvfb = Xvfb()
        self.env = wine_environment(self.config.prefix, self.xvfb.display)
        if self.with_simulator:
            self.sim = Simulator(self.config, self.folder, self.sim_args)
        else:
            mark_port_absent(self.config)
        if self.dpi != 96:
            self.set_dpi(self.dpi)
        if self.autostart:
            self.start_program()
        return self

    def set_dpi(self, dpi):
        """The prefix's screen DPI (what the display settings set on Windows); read by each program at its start."""
        quiet(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
               str(dpi), "/f"], self.env, timeout=120, check=True)

    def start_program(self, cwd=None):
        """Starts HX350.exe from the session's folder (again, after it has exited, for a second run), in that
        folder or in `cwd`."""
        if self.running():
            raise CheckFailed("HX350.exe is still running")
        if self.program_log:
            self.program_log.close()
        self.program_log = open(self.folder / "wine.log", "ab")
        self.program = subprocess.Popen(["wine", str(self.folder / "HX350.exe")], cwd=cwd or self.folder,
                                        env=dict(self.env, LD_PRELOAD=str(self.config.shim)), stdout=self.program_log,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        log("started HX350.exe in %s on display :%d" % (self.folder, self.xvfb.display))
        ini = self.ini_path.read_bytes() if self.ini_path.is_file() else b""
        if self.close_info and b"SHOW_ADV=0" not in ini:
            # A press may miss the window while it is still being built: pressed until it is gone.
            self.dialog(INFO_TITLE, timeout=30)
            def gone():
                self.win("dialog-press", INFO_TITLE, "1", check=False)
                return self.no_dialog(INFO_TITLE, timeout=1)

            wait_until(gone, 20, "the software information window to close")

    def running(self):
        return self.program is not None and self.program.poll() is None

    def close_program(self, timeout=30):
        """Closes the program as a user would (dialogs dismissed, then WM_CLOSE) and waits for it to exit, so
        that it has written its settings file. Returns the exit code."""
        if not self.running():
            return self.program.returncode if self.program else None
        # A dialog may come up after the close was asked for (the port dialog waits for its window list): it is
        # answered too, as a user would.
        deadline = time.monotonic() + timeout
        while True:
            self.dismiss_dialogs()
            self.win("close", check=False)
            try:
                self.exit_code = self.program.wait(timeout=min(5, max(0.1, deadline - time.monotonic())))
                log("HX350.exe exited with %s" % self.exit_code)
                return self.exit_code
            except subprocess.TimeoutExpired:
                if time.monotonic() >= deadline:
                    raise CheckFailed("HX350.exe did not exit within %d s" % timeout)

    def kill_program(self, timeout=20):
        """SIGKILL to the Wine processes that run this session's HX350.exe, as a crash or the session's end does;
        returns once the program has gone."""
        out = subprocess.run(["pgrep", "-f", str(self.folder / "HX350.exe")], capture_output=True, text=True).stdout
        for pid in out.split():
            os.kill(int(pid), signal.SIGKILL)
        return self.wait_exit(timeout)

    def wait_exit(self, timeout=30):
        """Waits for the program to end by itself (after "Zamknij"); True once it has."""
        try:
            self.exit_code = self.program.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise CheckFailed("HX350.exe did not exit within %d s" % timeout)
        log("HX350.exe exited with %s" % self.exit_code)
        return True

    def wine_process(self):
        """/proc entry of the Wine process that runs this session's HX350.exe (found by its display and prefix)."""
        wanted = {("DISPLAY=:%d" % self.xvfb.display).encode(), ("WINEPREFIX=%s" % self.config.prefix).encode()}
        for entry in Path("/proc").iterdir():
            try:
                command = (entry / "cmdline").read_bytes().split(b"\0")[0] if entry.name.isdigit() else b""
                if command.endswith(b"HX350.exe") and wanted <= set((entry / "environ").read_bytes().split(b"\0")):
                    return entry
            except OSError:
                continue
        raise CheckFailed("no process of HX350.exe on display :%d" % self.xvfb.display)

    def thread_count(self, process):
        """Threads of the program's Wine process: its own and those Wine starts in it."""
        try:
            return len(os.listdir(process / "task"))
        except OSError:
            raise CheckFailed("the process of HX350.exe has gone")

    def memory_kb(self, field="VmRSS", process=None):
        """A size of the program's Wine process in kB: "VmRSS" (resident) from status, "Anonymous" (private) from
        smaps_rollup."""
        process = process or self.wine_process()
        for line in (process / ("status" if field == "VmRSS" else "smaps_rollup")).read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1])
        raise CheckFailed("no %s of HX350.exe" % field)

    def wait_condition(self, predicate, what, timeout=10):
        return wait_until(predicate, timeout, what)

    def dismiss_dialogs(self, rounds=5):
        """Answers whatever dialog or message box is open: message boxes with OK, other dialogs with Cancel."""
        for _ in range(rounds):
            rc, lines = self.find_dialog(None, 0)
            if rc != 0:
                return
            info = parse_pairs(lines)
            title = info.get("title", "")
            if "text" in info:
                self.find_message_box(0, press=1)
            elif title:
                self.win("dialog-press", title, "2", check=False)
            # else: the untitled wait window, which closes by itself when the port list is ready
            wait_until(lambda: self.find_dialog(None, 0)[1] != lines, 10, "the dialog %r to close" % title)

    def stop(self):
        """Tears everything down; safe to call more than once and after failures."""
        if self.program is not None:
            if self.running():
                try:
                    self.close_program(timeout=20)
                except Exception as error:  # still tear down the rest
                    log("closing the program failed: %s" % error)
            if self.env and self.dpi != 96:
                try:
                    self.set_dpi(96)
                except Exception as error:
                    log("resetting the DPI failed: %s" % error)
        # Also after a scenario that ran only helper programs: the slot's next scenario starts its own server.
        if self.env:
            stop_wineserver(self.env)
        if self.program is not None:
            stop_process(self.program)
            self.program = None
        if self.program_log:
            self.program_log.close()
            self.program_log = None
        if self.sim:
            self.sim.stop()
            self.sim = None
        if self.xvfb:
            self.xvfb.stop()
            self.xvfb = None

    # ----- reading and driving the window -----

    def win(self, *args, check=True, timeout=60):
        """Runs hx350-win.exe under the session's wineserver; returns (exit code, output lines). Its answers are 0
        and WIN_NOT_FOUND."""
        code, lines, stderr = run_wine(self.env, [self.config.win_tool] + list(args), timeout)
        if check and code != 0:
            raise CheckFailed("hx350-win %s failed with %d: %s %s" % (" ".join(map(str, args)), code, lines, stderr))
        return code, lines

    def wait_visible(self, timeout=60):
        self.win("wait", "--timeout", str(timeout), timeout=timeout + 30)

    def texts(self):
        """{"status", "temperature", "humidity", "humidity_visible"} of the main window; {} while it is missing."""
        rc, lines = self.win("texts", check=False)
        return parse_pairs(lines) if rc == 0 else {}

    def wait_texts(self, timeout=15, **expected):
        """Waits until every given window text equals its expected value; returns all texts."""

        def matches():
            texts = self.texts()
            return texts if all(texts.get(k) == v for k, v in expected.items()) else None

        return wait_until(matches, timeout, "window texts %r" % expected, interval=0.3)

    def blinking(self, control):
        return parse_pairs(self.win("blinking", control)[1]).get("blinking") == "1"

    def wait_blinking(self, control, state, timeout=15):
        return wait_until(lambda: self.blinking(control) == state, timeout,
                          "display %d %s" % (control, "blinking" if state else "steady"), interval=0)

    def visible(self, control):
        return self.win("visible", control)[1] == ["1"]

    def enabled(self, control):
        return self.win("enabled", control)[1] == ["1"]

    def rect(self, control):
        return tuple(int(v) for v in self.win("rect", control)[1][0].split())

    def look(self, control):
        """{"background", "bar", "ink"} of a display as it shows on the screen."""
        return parse_pairs(self.win("look", control)[1])

    def menu_state(self, item):
        return parse_pairs(self.win("menu-state", item)[1])

    def wait_menu_enabled(self, item, timeout=30):
        # A probe may go unanswered while the program is busy starting: polled without failing on one.
        wait_until(lambda: "enabled=1" in self.win("menu-state", item, check=False)[1], timeout,
                   "menu item %d enabled" % item)

    def command(self, item):
        self.win("command", item)

    def find_dialog(self, title, timeout):
        """hx350-win dialog: (exit code, lines) for the dialog titled `title` (any dialog or message box when None)
        that is open or opens within `timeout` s."""
        args = ["dialog", "--timeout", str(timeout)] + (["--title", title] if title else [])
        return self.win(*args, check=False, timeout=timeout + 30)

    def dialog(self, title=None, timeout=20):
        """Waits for a dialog (by title) or message box of the program; returns its parsed contents."""
        rc, lines = self.find_dialog(title, timeout)
        if rc != 0:
            raise CheckFailed("no dialog %s appeared within %d s" % (repr(title) if title else "", timeout))
        return parse_dialog(lines)

    def open_dialog(self, item, title):
        """Opens a dialog with a menu command; returns its parsed contents."""
        self.command(item)
        return self.dialog(title)

    def control(self, title, ident):
        """{"text", "checked" (buttons), "enabled", "focused"} of a dialog's control."""
        return parse_pairs(self.win("dialog-control", title, ident)[1])

    def closed(self, title, timeout=15):
        """Waits until the dialog titled `title` has gone."""
        return wait_until(lambda: self.no_dialog(title), timeout, "%s closed" % title)

    def close_dialog(self, title, button=2):
        """Presses a button of the dialog (Cancel by default) and waits until it has gone."""
        self.win("dialog-press", title, button)
        return self.closed(title)

    def no_dialog(self, title=None, timeout=0):
        """True when no dialog (titled `title`, or none at all) is open, or none opened within `timeout` s."""
        return self.find_dialog(title, timeout)[0] == WIN_NOT_FOUND

    def wait_no_dialog(self, timeout=10):
        return wait_until(self.no_dialog, timeout, "every dialog closed")

    def find_message_box(self, timeout, press=None):
        """hx350-win message-box: (exit code, lines) for the program's message box that is open or opens within
        `timeout` s, answered with the button `press` when given."""
        args = ["message-box", "--timeout", str(timeout)] + (["--press", str(press)] if press is not None else [])
        return self.win(*args, check=False, timeout=timeout + 30)

    def message_box(self, timeout=20, press=None):
        rc, lines = self.find_message_box(timeout, press)
        if rc != 0:
            raise CheckFailed("no message box appeared within %d s" % timeout)
        return parse_pairs(lines)

    def answer(self, button=1):
        """The text of the open message box, which is answered with `button` (OK) and waited out."""
        text = self.message_box(press=button).get("text")
        wait_until(lambda: self.find_message_box(0)[0] == WIN_NOT_FOUND, 10, "the message box gone")
        return text

    def screenshot(self, state):
        path = self.config.screenshots / ("%s_%s.png" % (self.name, state))
        quiet(["import", "-display", ":%d" % self.xvfb.display, "-window", "root", str(path)], None)
        log("screenshot %s" % path)
        return path

    # ----- the DDE service, through hx350-dde.exe -----

    def dde(self, *args, extra_env=None, timeout=60):
        """(exit code, stdout lines, stderr) of hx350-dde; a Western system (ANSI code page 1252) unless
        `extra_env` says otherwise (Wine takes the code page from LC_ALL)."""
        return run_wine(dict(self.env, **dict({"LC_ALL": "C.UTF-8"}, **(extra_env or {}))),
                        [self.config.dde_tool] + list(args), timeout)

    def dde_request(self, topic, item, *options, extra_env=None):
        """The bytes of one request, or (exit code, message) when it failed."""
        code, lines, err = self.dde("request", topic, item, "--hex", *options, extra_env=extra_env)
        if code != DDE_OK:
            return code, err.strip()
        return bytes.fromhex(lines[0]) if lines and lines[0] else b""

    def wait_served(self, topic, item="Wynik", timeout=20):
        return wait_until(lambda: isinstance(self.dde_request(topic, item), bytes), timeout,
                          "the DDE service to answer on %s" % topic, interval=0.3)

    def dde_resources(self, serial=None):
        """What the service holds: "windows" of the program, "global_atoms", "atom NAME" counts."""
        code, lines, err = self.dde("resources", *(["--serial", str(serial)] if serial is not None else []))
        if code != DDE_OK:
            raise CheckFailed("hx350-dde resources failed: %s" % err)
        return parse_pairs(lines)

    def dde_advise(self, name, topic, item, *options):
        return Advise(dict(self.env, LC_ALL="C.UTF-8"), self.folder, "advise_" + name,
                      [self.config.dde_tool, "advise", topic, item] + list(options))


# hx350-dde's exit codes
DDE_OK, DDE_NO_CONVERSATION, DDE_REFUSED, DDE_SERVICE_GONE, DDE_NOT_FOUND = 0, 2, 3, 5, 6


def dde_refused(topic):
    """What hx350-dde says of a topic that the service does not offer."""
    return DDE_NO_CONVERSATION, "hx350-dde: no conversation with HX350|%s: DMLERR_NO_CONV_ESTABLISHED" % topic


def cp1250_item(text):
    """The bytes a DDE client must receive for an item text."""
    return text.encode("cp1250") + b"\0"


class Advise(Background):
    """hx350-dde advise: one "TIME VALUE" line per update."""

    def values(self):
        return [line.split(" ", 1)[1] for line in self.lines() if " " in line]

    def wait_values(self, count, timeout=20):
        return wait_until(lambda: self.values() if len(self.values()) >= count else None, timeout,
                          "%d advise update(s) in %s" % (count, self.out_path.name), interval=0.1)

    def wait_value(self, value, timeout=20):
        return wait_until(lambda: value in self.values(), timeout, "advise update %r" % value, interval=0.1)

    def wait_last(self, value, timeout=20):
        """Waits until the latest update is `value`: updates come with every line, so one already on its way may
        still carry the value before."""
        return wait_until(lambda: self.values()[-1:] == [value], timeout, "latest advise update %r" % value,
                          interval=0.1)


def windows_path(path):
    """The Windows name of a Linux path in the prefix (drive Z: is the root)."""
    return "Z:" + str(path).replace("/", "\\")


def parse_pairs(lines):
    return dict(line.split("=", 1) for line in lines if "=" in line)


def parse_dialog(lines):
    """hx350-win dialog output -> {"title", "text", "statics": {id: text}, "buttons": {id: text},
    "combo": {id: selected}, "items": {id: [texts]}}."""
    info = {"statics": {}, "buttons": {}, "combo": {}, "items": {}}
    for line in lines:
        head, _, value = line.partition("=")
        kind, _, ident = head.partition(" ")
        if kind in ("title", "text") and not ident:
            info[kind] = value
        elif kind == "static":
            info["statics"].setdefault(int(ident), value)
        elif kind == "button":
            info["buttons"][int(ident)] = value
        elif kind == "combo":
            info["combo"][int(ident)] = value
        elif kind == "item":
            info["items"].setdefault(int(ident), []).append(value)
    return info


class Scenario:
    """A sequence of named steps on one running program. A failed step ends the scenario; every check's result
    is printed. Used as: Scenario(name).run(body) with body(session, scenario)."""

    def __init__(self, name, ini=None, sim_args=(), with_simulator=True, deadline=180, close_info=True, dpi=96,
                 autostart=True):
        self.name, self.deadline = name, deadline  # seconds; below the CTest TIMEOUT
        self.session_args = dict(ini=ini, sim_args=sim_args, with_simulator=with_simulator, close_info=close_info,
                                 dpi=dpi, autostart=autostart)
        self.failures = []

    def check(self, condition, message, detail=None):
        """A hard check: a failure ends the scenario."""
        if not condition:
            raise CheckFailed(message + ("" if detail is None else ": %r" % (detail,)))
        log("  ok: " + message)

    def expect(self, condition, message, detail=None):
        """A soft check: a failure is recorded and the scenario goes on."""
        if condition:
            log("  ok: " + message)
        else:
            text = message + ("" if detail is None else ": %r" % (detail,))
            log("  FAILED: " + text)
            self.failures.append(text)

    def passed(self, message):
        """Records a check that a wait above has already made (the wait raises when it fails)."""
        log("  ok: " + message)

    def equal(self, actual, expected, message):
        shown = repr(expected)
        label = "%s == %s" % (message, shown) if len(shown) <= 80 else "%s as expected" % message
        if actual != expected and len(shown) > 80:
            label += " (expected %s)" % shown
        self.expect(actual == expected, label, None if actual == expected else actual)

    def step(self, title):
        log("-- " + title)

    def run(self, body, argv=None):
        parser = argparse.ArgumentParser()
        Config.add_arguments(parser)
        config = Config.from_arguments(parser.parse_args(argv))
        config.claim_slot()
        started = time.monotonic()
        session = Session(config, self.name, **self.session_args)

        # A scenario that hangs still tears down: its own deadline comes before CTest's, and a termination request
        # becomes an exception too.
        def give_up(signum, _frame):
            raise CheckFailed("scenario stopped by %s" % signal.Signals(signum).name)

        signal.signal(signal.SIGALRM, give_up)
        signal.signal(signal.SIGTERM, give_up)
        signal.alarm(self.deadline)
        try:
            session.start()
            body(session, self)
        except Exception as error:
            self.failures.append("%s: %s" % (type(error).__name__, error))
            log("FAILED: %s" % error)
            if not isinstance(error, CheckFailed):
                traceback.print_exc()
            if session.xvfb:
                try:
                    session.screenshot("failure")
                except Exception:
                    pass
        finally:
            signal.alarm(0)
            signal.signal(signal.SIGTERM, signal.SIG_IGN)  # let the teardown finish
            session.stop()
            for name in ("wine.log", "sim.log"):
                path = session.folder / name
                if self.failures and path.exists() and path.stat().st_size:
                    log("---- %s (last lines)" % name)
                    log("\n".join(path.read_text(errors="replace").splitlines()[-15:]))
        log("%s: %s in %.1f s" % (self.name, "FAILED" if self.failures else "passed", time.monotonic() - started))
        for failure in self.failures:
            log("  - " + failure)
        return 1 if self.failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=["make-prefix"])
    Config.add_arguments(parser)
    make_prefix(Config.from_arguments(parser.parse_args()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
