"""The DDE service "HX350" seen by a client (hx350-dde.exe under the same wineserver).

One program run on the simulator goes through: requests of every item of both topics with their exact bytes
(Windows-1250, NUL included), refused formats, topics, items and services, the topic list, a Unicode client and an
ANSI client under a Polish code page, advise loops (the current value at once, a new one after every line, never
the other topic's value), the loss of the link (the service is withdrawn and an advise client learns it), its
return under another serial number, and kind-1 lines (two decimals; the humidity topic reports a measurement
error).

Then the link goes up and down with every pair of a good and a damaged line, several hundred cycles in rounds:
after each round a line with a new serial number proves that the program read everything and still serves
requests, and with the service stopped the program's windows (DDEML makes its own for every instance), the global
atom table and its resident memory must stay flat after a warm-up round. Wine's DdeUninitialize releases the
string handles and the name registration of an instance by itself, so from outside a leak shows as an instance
left behind: its windows, its "HX350(0x…)" atom and its memory.

Last, the port goes away while the program reads it and "Porty" is open (the simulator stops, as an unplugged
USB-serial adapter takes its device away; under Wine every read then fails): the serial worker tells the window
and ends instead of retrying the dead handle for ever, so its thread leaves the program's Wine process; the status
line names the port, "Anuluj" leaves it so, and live values return when the simulator is back, with no choice
made."""

import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from harness import CMD_PORT, NO_LINK, OK_4660, SIM_PORT, CheckFailed, Scenario, Simulator, log, parse_pairs, wait_until

SETTINGS = b"[GENERAL]\r\nPORT_NR=7\r\n"
PORT_GONE = NO_LINK + "Port COM%d jest niedostępny. " % SIM_PORT

TEMPERATURE_TOPIC = "Temperatura"
HUMIDITY_TOPIC = "Wilgotność"

# hx350-dde exit codes
EXIT_OK, EXIT_NO_CONVERSATION, EXIT_REFUSED, EXIT_SERVICE_GONE, EXIT_NOT_FOUND = 0, 2, 3, 5, 6
CF_UNICODETEXT = 13

# Wine takes the ANSI code page from LC_ALL; the command line is decoded with the C library's locale, which must
# then exist, so a Polish one is compiled into the test folder when the system has none.
WESTERN = {"LC_ALL": "C.UTF-8"}


def cp1250_item(text):
    """The bytes a client must receive for an item text."""
    return text.encode("cp1250") + b"\0"


class DdeTool:
    """Runs hx350-dde.exe under a session's wineserver."""

    def __init__(self, session):
        self.session = session
        self.exe = session.config.mingw / "tools" / "hx350-dde.exe"
        self.polish = None

    def environment(self, extra):
        env = dict(self.session.env)
        env.update(WESTERN)
        env.update(extra or {})
        return env

    def run(self, *args, extra_env=None, timeout=60):
        """(exit code, stdout lines without CR, stderr text). Output goes through files: a Wine process may hand
        its pipes on to wineserver helpers that outlive it."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen(["wine", str(self.exe)] + [str(a) for a in args],
                                       env=self.environment(extra_env), stdout=out, stderr=err,
                                       stdin=subprocess.DEVNULL)
            try:
                code = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                raise CheckFailed("hx350-dde %s did not finish within %d s" % (" ".join(args), timeout))
            out.seek(0)
            err.seek(0)
            stdout = out.read().decode("utf-8", "replace")
            stderr = err.read().decode("utf-8", "replace").replace("\r", "")
        lines = [line.rstrip("\r") for line in stdout.split("\n") if line.strip()]
        return code, lines, stderr

    def request_bytes(self, topic, item, *options, extra_env=None):
        """The bytes of one request, or (exit code, message) when it failed."""
        code, lines, err = self.run("request", topic, item, "--hex", *options, extra_env=extra_env)
        if code != EXIT_OK:
            return code, err.strip()
        return bytes.fromhex(lines[0]) if lines and lines[0] else b""

    def wait_served(self, topic, item="Wynik", timeout=20):
        return wait_until(lambda: isinstance(self.request_bytes(topic, item), bytes), timeout,
                          "the DDE service to answer on %s" % topic, interval=0.3)

    def wait_refused(self, topic, item="Wynik", timeout=20):
        return wait_until(lambda: self.request_bytes(topic, item) == self._refused(topic), timeout,
                          "the DDE service to refuse %s" % topic, interval=0.3)

    @staticmethod
    def _refused(topic):
        return (EXIT_NO_CONVERSATION,
                "hx350-dde: no conversation with HX350|%s: DMLERR_NO_CONV_ESTABLISHED" % topic)

    def list_topics(self, *args):
        code, lines, _ = self.run("list", *args)
        return code, sorted(lines)

    def resources(self, serial=None):
        args = ["resources"] + (["--serial", str(serial)] if serial is not None else [])
        code, lines, err = self.run(*args)
        if code != EXIT_OK:
            raise CheckFailed("hx350-dde resources failed: %s" % err)
        return parse_pairs(lines)

    def advise(self, name, topic, item, *options):
        return AdviseClient(self, name, topic, item, options)

    def polish_environment(self):
        """LC_ALL for a Polish system (ANSI code page 1250), with a C library locale for the command line;
        None when this system cannot compile one."""
        if self.polish is not None:
            return self.polish or None
        self.polish = {}
        folder = self.session.config.work / "locale"
        target = folder / "pl_PL.UTF-8"
        if not target.exists():
            if not shutil.which("localedef") or not Path("/usr/share/i18n/locales/pl_PL").exists():
                return None
            folder.mkdir(parents=True, exist_ok=True)
            subprocess.run(["localedef", "-i", "pl_PL", "-f", "UTF-8", str(target)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
            if not target.exists():
                return None
        self.polish = {"LC_ALL": "pl_PL.UTF-8", "LOCPATH": str(folder)}
        return self.polish


class AdviseClient:
    """hx350-dde advise running in the background; its output is read from a file while it runs."""

    def __init__(self, tool, name, topic, item, options):
        folder = tool.session.folder
        self.out_path = folder / ("advise_%s.out" % name)
        self.err_path = folder / ("advise_%s.err" % name)
        self.out = open(self.out_path, "wb")
        self.err = open(self.err_path, "wb")
        self.process = subprocess.Popen(["wine", str(tool.exe), "advise", topic, item] + list(options),
                                        env=tool.environment(None), stdout=self.out, stderr=self.err,
                                        stdin=subprocess.DEVNULL)

    def values(self):
        """The values received so far, without their time stamps."""
        text = self.out_path.read_bytes().decode("utf-8", "replace")
        return [line.rstrip("\r").split(" ", 1)[1] for line in text.split("\n")
                if line.strip() and " " in line.strip()]

    def wait_values(self, count, timeout=20):
        return wait_until(lambda: self.values() if len(self.values()) >= count else None, timeout,
                          "%d advise update(s) in %s" % (count, self.out_path.name), interval=0.1)

    def wait_value(self, value, timeout=20):
        return wait_until(lambda: value in self.values(), timeout, "advise update %r" % value, interval=0.1)

    def started(self):
        return "advising" in self.err_path.read_bytes().decode("utf-8", "replace")

    def wait_exit(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise CheckFailed("hx350-dde advise did not end within %d s" % timeout)

    def stderr(self):
        return self.err_path.read_bytes().decode("utf-8", "replace").replace("\r", "")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.out.close()
        self.err.close()


PAIRS_PER_COMMAND = 70  # good + damaged line pairs in one "raw" command (the simulator reads up to 4 KB a line)
COMMANDS_PER_ROUND = 4
ROUNDS = 3  # measured rounds after the warm-up
# Resident memory per measured round of 280 cycles. The pairs go out as one burst (no pacing), which kept this
# measurement apart from the serial reader's own costs (see test_soak.py). In bursts the program stays flat to the
# kB; a lost DDEML instance (about 1 kB a cycle) would add some 280 kB a round.
RSS_TOLERANCE_KB = 128


def logged_line(session, kind):
    """The hex of the last line of this kind ("line" or "damaged") that the simulator logged."""
    lines = session.sim.log_path.read_text(errors="replace").splitlines()
    prefix = "hx350-sim: %s " % kind
    found = [line[len(prefix):].replace(" ", "") for line in lines if line.startswith(prefix)]
    if not found:
        raise CheckFailed("the simulator logged no %s line" % kind)
    return found[-1]


def program_rss_kb(session):
    """Resident memory of the Wine process that runs this session's HX350.exe."""
    for line in (session.wine_process() / "status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise CheckFailed("no resident size of HX350.exe")


def sim_line_count(session):
    """Good lines the simulator has queued so far (it logs each one as it queues it)."""
    return session.sim.log_path.read_bytes().count(b"hx350-sim: line ")


def body(s, t):
    dde = DdeTool(s)
    services(s, t, dde)
    link_cycles(s, t, dde)
    port_lost(s, t)


def services(s, t, dde):
    temperature, humidity = TEMPERATURE_TOPIC + "#4660", HUMIDITY_TOPIC + "#4660"

    t.step("good lines: every item of both topics, exact bytes")
    s.wait_visible()
    s.wait_texts(timeout=20, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    dde.wait_served(temperature)
    for topic, item, text in [
        (temperature, "Wynik", "23.4"),
        (temperature, "Pomiar", "23.4 °C"),
        (temperature, "Status", "Pomiar OK"),
        (humidity, "Wynik", "45.6"),
        (humidity, "Pomiar", "45.6 %"),
        (humidity, "Status", "Pomiar OK"),
    ]:
        t.equal(dde.request_bytes(topic, item), cp1250_item(text), "%s!%s" % (topic, item))
    code, lines, _ = dde.run("request", humidity, "Pomiar")
    t.equal((code, lines), (EXIT_OK, ["45.6 %"]), "the text as printed (UTF-8)")
    t.equal(dde.request_bytes(TEMPERATURE_TOPIC, "Pomiar", "--serial", "4660"), cp1250_item("23.4 °C"),
            "topic assembled from --serial")

    t.step("other formats, topics, items and services are refused")
    t.equal(dde.request_bytes(temperature, "Wynik", "--format", str(CF_UNICODETEXT)),
            (EXIT_REFUSED, "hx350-dde: request for Wynik in format 13 on HX350|%s failed: DMLERR_NOTPROCESSED"
             % temperature), "CF_UNICODETEXT gets no data")
    for topic in [TEMPERATURE_TOPIC, HUMIDITY_TOPIC, TEMPERATURE_TOPIC + "#4661", HUMIDITY_TOPIC + "#466",
                  "Ciśnienie#4660", "Wilgotnosc#4660"]:
        t.equal(dde.request_bytes(topic, "Wynik"), dde._refused(topic), "topic %r refused" % topic)
    # "Alarm" is served only while alarms are on: without them the service answers what it always did.
    for item in ["Wartość", "wynik2", "WynikX", "Alarm"]:
        code, _, err = dde.run("request", temperature, item)
        t.equal(code, EXIT_REFUSED, "item %r refused (%s)" % (item, err.strip()))
    t.equal(dde.run("request", temperature, "Wynik", "--service", "HX351")[0], EXIT_NO_CONVERSATION,
            "service HX351 refused")

    t.step("the topic list (wildcard initiate)")
    t.equal(dde.list_topics(), (EXIT_OK, ["HX350|" + temperature, "HX350|" + humidity]), "list")
    t.equal(dde.list_topics("--service", "HX351"), (EXIT_NOT_FOUND, []), "list of another service")
    # Regression: a wildcard connection that names one topic got conversations on both.
    t.equal(dde.list_topics(humidity), (EXIT_OK, ["HX350|" + humidity]),
            "wildcard naming one topic lists that topic alone")
    t.equal(dde.list_topics(TEMPERATURE_TOPIC + "#1"), (EXIT_NOT_FOUND, []), "wildcard naming a wrong topic")

    t.step("Unicode and ANSI clients spell the topic each their own way")
    # The default environment above is a Western system (ANSI code page 1252) with a Unicode client.
    t.equal(dde.request_bytes(humidity, "Pomiar", "--ansi"), dde._refused(humidity),
            "Windows-1250 bytes on a Western system are another name")
    polish = dde.polish_environment()
    if polish is None:
        log("  SKIPPED: no pl_PL locale source to compile for the Polish-system client")
    else:
        code, lines, err = dde.run("request", humidity, "Pomiar", "--ansi", "--hex", extra_env=polish)
        t.equal((code, lines), (EXIT_OK, ["34 35 2E 36 20 25 00"]), "ANSI client on a Polish system (%s)"
                % err.strip())
        code, lines, err = dde.run("list", "--ansi", humidity, extra_env=polish)
        t.equal((code, lines), (EXIT_OK, ["HX350|" + humidity]), "ANSI wildcard naming the humidity topic")
        t.equal(dde.request_bytes(humidity, "Status", extra_env=polish), cp1250_item("Pomiar OK"),
                "Unicode client on a Polish system")

    t.step("advise: the current value at once, then one per line, never the other topic's value")
    # With lines 4 s apart, a value that arrives before the simulator queues the next line was sent at once. Short
    # characters let the program finish the last line well before the client has started.
    s.sim.send("char-ms 5")
    s.sim.send("interval 4000")
    before = sim_line_count(s)
    wait_until(lambda: sim_line_count(s) > before + 1, 15, "a line at the new interval")
    queued = sim_line_count(s)
    temperature_result = dde.advise("temperature_result", temperature, "Wynik", "--timeout", "60")
    humidity_status = dde.advise("humidity_status", humidity, "Status", "--timeout", "60")
    try:
        first = temperature_result.wait_values(1, timeout=10)
        t.equal(first, ["23.4"], "first advise value")
        t.expect(sim_line_count(s) == queued, "the first value came before the next line",
                 (queued, sim_line_count(s)))
        t.equal(humidity_status.wait_values(1, timeout=10), ["Pomiar OK"], "first status value")
        s.sim.send("interval 1000")
        s.sim.send("char-ms 30")
        s.sim.send("temp 24.5")
        temperature_result.wait_value("24.5")
        s.sim.send("errors 1")
        humidity_status.wait_value("Błąd pomiaru")
        s.sim.send("errors 0")
        humidity_status.wait_values(len(humidity_status.values()) + 1)
        t.equal(humidity_status.values()[-1], "Pomiar OK", "status back to OK")
        received = len(temperature_result.values())
        temperature_result.wait_values(received + 2)
        # Regression: Wine runs every advise link of an item for each topic posted, which handed the
        # temperature link the humidity value after each line.
        values = temperature_result.values()
        t.equal(sorted(set(values)), ["23.4", "24.5"], "temperature link got temperatures only")
        t.expect(values.index("24.5") > 0 and set(values[values.index("24.5"):]) == {"24.5"},
                 "values in order", values)
    finally:
        humidity_status.stop()
        temperature_result.stop()
    s.sim.send("temp 23.4")

    t.step("link lost: the service is withdrawn and an advise client learns it")
    watcher = dde.advise("watcher", temperature, "Status", "--timeout", "60")
    try:
        watcher.wait_values(1)
        s.sim.send("silence")
        s.sim.send("bad")
        s.wait_texts(status=NO_LINK)
        t.equal(watcher.wait_exit(), EXIT_SERVICE_GONE, "advise client ends: service went away")
        t.expect("HX350 went away" in watcher.stderr(), "it says so", watcher.stderr())
    finally:
        watcher.stop()
    t.equal(dde.request_bytes(temperature, "Wynik"), dde._refused(temperature), "a fresh connect fails")
    t.equal(dde.list_topics("--serial", "4660"), (EXIT_NOT_FOUND, []), "nothing listed")
    names = dde.resources(4660)
    t.equal(names.get("atom HX350"), "0", "service name released")

    t.step("good lines return with another serial number: the service is back under it")
    s.sim.send("serial 1234")
    s.sim.send("resume")
    s.wait_texts(status="HX-350 nr 1234. Pomiar prawidłowy. ")
    dde.wait_served(TEMPERATURE_TOPIC + "#1234")
    t.equal(dde.request_bytes(HUMIDITY_TOPIC + "#1234", "Pomiar"), cp1250_item("45.6 %"), "humidity on #1234")
    t.equal(dde.request_bytes(temperature, "Wynik"), dde._refused(temperature), "old serial number refused")
    t.equal(dde.list_topics(), (EXIT_OK, ["HX350|Temperatura#1234", "HX350|Wilgotność#1234"]), "list")
    # A new serial number alone, with the link up and the kind unchanged, does not restart the service.
    s.sim.send("serial 999")
    s.wait_texts(status="HX-350 nr 999. Pomiar prawidłowy. ")
    t.expect(isinstance(dde.request_bytes(TEMPERATURE_TOPIC + "#1234", "Wynik"), bytes),
             "topics keep the serial number the service started with")
    t.equal(dde.request_bytes(TEMPERATURE_TOPIC + "#999", "Wynik"), dde._refused(TEMPERATURE_TOPIC + "#999"),
            "the new number is not a topic yet")
    s.sim.send("serial 1234")

    t.step("kind-1 lines: two decimals on the temperature topic, the humidity topic reports an error")
    s.sim.send("temp 23.46")
    s.sim.send("two-decimals 1")
    s.sim.send("kind 1")
    s.wait_texts(status="HX-350 nr 1234. ", temperature="23.46 °C")
    temperature, humidity = TEMPERATURE_TOPIC + "#1234", HUMIDITY_TOPIC + "#1234"
    dde.wait_served(temperature)
    for topic, item, text in [
        (temperature, "Wynik", "23.46"),
        (temperature, "Pomiar", "23.46 °C"),
        (temperature, "Status", "Pomiar OK"),
        (humidity, "Status", "Błąd pomiaru"),
        (humidity, "Wynik", "45.6"),  # the last value stays readable; Status says it is not current
    ]:
        t.equal(dde.request_bytes(topic, item), cp1250_item(text), "%s!%s" % (topic, item))
    s.sim.send("two-decimals 0")
    wait_until(lambda: dde.request_bytes(temperature, "Wynik") == cp1250_item("23.4"), 15,
               "one decimal, cut toward zero")
    t.equal(dde.request_bytes(temperature, "Pomiar"), cp1250_item("23.4 °C"), "Pomiar cut to 23.4 °C")


def link_cycles(s, t, dde):

    t.step("good lines, then one damaged line: the pair that each cycle repeats")
    for command in ("kind 0", "temp 23.4", "serial 4660"):
        s.sim.send(command)
    s.wait_texts(timeout=20, status=OK_4660)
    dde.wait_served(TEMPERATURE_TOPIC + "#4660")
    s.sim.send("silence")
    s.sim.send("bad")
    s.wait_texts(status=NO_LINK)
    pair = logged_line(s, "line") + logged_line(s, "damaged")
    command = "raw " + pair * PAIRS_PER_COMMAND
    t.check(len(command) < 4000, "one raw command fits the simulator's line", len(command))
    s.sim.send("char-ms 0")

    def measure():
        # Stopped service: its name has left the atom table once the last instance is gone.
        wait_until(lambda: dde.resources(marker[0]).get("atom HX350") == "0", 15, "the service to stop")
        names = dde.resources(marker[0])
        leftovers = sorted(k for k, v in names.items() if k.startswith("atom HX350") and v != "0")
        return {
            "windows": int(names["windows"]),
            "global_atoms": int(names["global_atoms"]),
            "dde_atoms": leftovers + sorted(k for k, v in names.items() if "#" in k and v != "0"),
            "rss_kb": program_rss_kb(s),
        }

    marker = [0]

    def cycle_round(commands):
        # The pairs go first; the simulator sends its next scheduled line, with the new serial number, only after
        # them, so a service under that number means the program has read every pair.
        marker[0] += 1
        serial = 100 + marker[0]
        s.sim.send("serial %d" % serial)
        for _ in range(commands):
            s.sim.send(command)
        s.sim.send("resume")
        dde.wait_served(TEMPERATURE_TOPIC + "#%d" % serial, timeout=commands * PAIRS_PER_COMMAND * 0.2 + 30)
        marker[0] = serial
        s.sim.send("silence")
        s.sim.send("bad")
        return measure()

    t.step("warm-up round")
    cycles = PAIRS_PER_COMMAND
    samples = [cycle_round(1)]
    log("  after %d cycles: %r" % (cycles, samples[-1]))
    for number in range(ROUNDS):
        t.step("round %d" % (number + 1))
        samples.append(cycle_round(COMMANDS_PER_ROUND))
        cycles += COMMANDS_PER_ROUND * PAIRS_PER_COMMAND
        log("  after %d cycles: %r" % (cycles, samples[-1]))

    t.step("flat after %d link up/down cycles" % cycles)
    first, measured = samples[0], samples[1:]
    t.equal([m["windows"] for m in measured], [first["windows"]] * ROUNDS, "windows of the program")
    t.equal([m["global_atoms"] for m in measured], [first["global_atoms"]] * ROUNDS, "global atoms")
    t.equal([m["dde_atoms"] for m in samples], [[]] * (ROUNDS + 1), "no DDE name atom left while stopped")
    growth = [later["rss_kb"] - earlier["rss_kb"] for earlier, later in zip(samples, samples[1:])]
    t.expect(max(growth[1:]) <= RSS_TOLERANCE_KB, "resident memory within %d kB per round after the warm-up" % RSS_TOLERANCE_KB,
             growth)

    t.step("the program still serves requests")
    s.sim.send("serial 4660")
    s.sim.send("char-ms 30")
    s.sim.send("resume")
    s.wait_texts(status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    dde.wait_served(TEMPERATURE_TOPIC + "#4660")
    t.equal(dde.request_bytes(TEMPERATURE_TOPIC + "#4660", "Pomiar"), "23.4 °C".encode("cp1250") + b"\0",
            "Temperatura#4660!Pomiar")


def port_lost(s, t):
    t.step("the simulator stops while Porty is open: the worker ends and the status names the port")
    s.command(CMD_PORT)
    s.dialog("Porty")
    process = s.wine_process()
    reading = s.thread_count(process)
    s.sim.stop()
    s.sim = None
    wait_until(lambda: s.thread_count(process) < reading, 15, "the serial worker to end", interval=0.2)
    t.passed("the worker's thread has gone (%d -> %d threads)" % (reading, s.thread_count(process)))
    t.check(s.running(), "the program still runs")
    s.wait_texts(timeout=15, status=PORT_GONE)
    t.passed("status names the lost port under the dialog")

    t.step("Anuluj: the port is still named, and it comes back by itself")
    s.win("dialog-press", "Porty", "2")
    s.wait_no_dialog()
    t.equal(s.texts().get("status"), PORT_GONE, "status after Anuluj")
    s.screenshot("lost_after_cancel")
    s.sim = Simulator(s.config, s.folder, ())
    s.wait_texts(timeout=15, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.passed("live values again")

if __name__ == "__main__":
    sys.exit(Scenario("dde", ini=SETTINGS, deadline=400).run(body))
