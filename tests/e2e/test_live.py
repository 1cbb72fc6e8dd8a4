"""Live readings on COM7 in the window and through the DDE service "HX350" (hx350-dde.exe as the client).

One program run, configured by a complete settings file: good kind-0 lines (texts, steady displays, every DDE item
of both topics as exact Windows-1250 bytes, NUL included), refused formats, topics, items and services, the topic
list, Unicode and ANSI clients, advise loops (the current value at once, one per line, never the other topic's),
error bits (the displays blink, the status names them), a new serial number while the link is up, a damaged line
(the link is lost at once, the service withdrawn and an advise client told), the return under another serial
number, and kind-1 lines (two decimals, the humidity display hidden, its topic reporting an error).

Then the link goes up and down with every pair of a good and a damaged line, several hundred cycles in rounds:
with the service stopped the program's windows (DDEML makes its own for every instance), the global atom table
and its resident memory must stay flat after a warm-up round (Wine's DdeUninitialize releases an instance's
string handles and name itself, so a leak shows as an instance left behind). The port then goes away while
"Porty" is open (the simulator stops, as an unplugged USB-serial adapter does): the serial worker ends instead of
retrying the dead handle, the status names the port, and live values return when the simulator is back. Last,
silence: the watchdog marks the link lost about 5 s after the last line. Nothing the user can set changed, so the
settings file (with a comment and a blank line, which a rewrite would alter) is left byte for byte untouched."""

import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

from harness import (CMD_PORT, DDE_NO_CONVERSATION, DDE_NOT_FOUND, DDE_OK, DDE_REFUSED, DDE_SERVICE_GONE, HUMIDITY,
                     NO_LINK, OK_4660, PORT_GONE, TEMPERATURE, Scenario, Simulator, cp1250_item, dde_refused, log,
                     settings_file, wait_until)

SETTINGS = b"; HX350 settings kept by the live test\r\n" + settings_file(PORT_NR=7).replace(b"[RH]", b"\r\n[RH]")
T4660, H4660, T1234, H1234 = "Temperatura#4660", "Wilgotność#4660", "Temperatura#1234", "Wilgotność#1234"
CF_UNICODETEXT = 13

PAIRS_PER_COMMAND = 70  # good + damaged line pairs in one "raw" command (the simulator reads up to 4 KB a line)
COMMANDS_PER_ROUND = 4
ROUNDS = 3  # measured rounds after the warm-up
# Resident memory per measured round of 280 cycles, sent as one burst (no pacing), which keeps this measurement
# apart from the serial reader's own costs (see test_soak.py). In bursts the program stays flat to the kB; a lost
# DDEML instance (about 1 kB a cycle) would add some 280 kB a round.
RSS_TOLERANCE_KB = 128


def polish_environment(s):
    """LC_ALL for a Polish system (ANSI code page 1250), with a C library locale for the command line, which is
    compiled into the work folder when the system has none; None when it cannot be."""
    folder = s.config.work / "locale"
    target = folder / "pl_PL.UTF-8"
    if not target.exists() and shutil.which("localedef") and Path("/usr/share/i18n/locales/pl_PL").exists():
        folder.mkdir(parents=True, exist_ok=True)
        subprocess.run(["localedef", "-i", "pl_PL", "-f", "UTF-8", str(target)], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)
    return {"LC_ALL": "pl_PL.UTF-8", "LOCPATH": str(folder)} if target.exists() else None


def items(s, t, expected):
    for topic, item, text in expected:
        t.equal(s.dde_request(topic, item), cp1250_item(text), "%s!%s" % (topic, item))


def body(s, t):
    stat_before = os.stat(s.ini_path)
    services(s, t)
    link_cycles(s, t)
    port_lost(s, t)

    t.step("silence: the watchdog marks the link lost about 5 s after the last line")
    s.sim.send("silence")
    silent_from = time.monotonic()
    s.wait_texts(timeout=15, status=NO_LINK, temperature="???", humidity="???")
    after = time.monotonic() - silent_from
    t.expect(3.5 <= after <= 9.0, "link lost 3.5 to 9 s after the lines stopped", round(after, 1))
    t.check(s.wait_blinking(TEMPERATURE, True), "temperature display blinks")
    t.check(s.wait_blinking(HUMIDITY, True), "humidity display blinks")
    s.screenshot("silence")
    s.sim.send("resume")
    s.wait_texts(status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.check(s.wait_blinking(TEMPERATURE, False), "readings back, temperature display steady")

    t.step("closing without a change leaves hx350cfg.ini untouched")
    s.close_program()
    t.equal(s.ini_path.read_bytes(), SETTINGS, "hx350cfg.ini bytes")
    t.equal(os.stat(s.ini_path).st_mtime_ns, stat_before.st_mtime_ns, "hx350cfg.ini modification time")


def services(s, t):
    t.step("good kind-0 lines: status, values, steady displays, every DDE item of both topics")
    s.wait_visible()
    texts = s.wait_texts(timeout=20, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.equal(texts.get("humidity_visible"), "1", "humidity display shown")
    t.check(s.no_dialog(), "no port dialog: the configured port opened")
    t.check(s.wait_blinking(TEMPERATURE, False), "temperature display steady")
    t.check(s.wait_blinking(HUMIDITY, False), "humidity display steady")
    two_displays = (s.rect(TEMPERATURE), s.rect(HUMIDITY))
    t.expect(two_displays[0][3] < two_displays[1][1], "temperature display above humidity display", two_displays)
    s.screenshot("live")
    s.wait_served(T4660)
    items(s, t, [(T4660, "Wynik", "23.4"), (T4660, "Pomiar", "23.4 °C"), (T4660, "Status", "Pomiar OK"),
                 (H4660, "Wynik", "45.6"), (H4660, "Pomiar", "45.6 %"), (H4660, "Status", "Pomiar OK")])

    t.step("other formats, topics, items and services are refused; the topic list")
    t.equal(s.dde_request(T4660, "Wynik", "--format", str(CF_UNICODETEXT)),
            (DDE_REFUSED, "hx350-dde: request for Wynik in format 13 on HX350|%s failed: DMLERR_NOTPROCESSED"
             % T4660), "CF_UNICODETEXT gets no data")
    for topic in ["Temperatura", "Wilgotność", "Temperatura#4661", "Wilgotność#466", "Ciśnienie#4660",
                  "Wilgotnosc#4660"]:
        t.equal(s.dde_request(topic, "Wynik"), dde_refused(topic), "topic %r refused" % topic)
    # "Alarm" is served only while alarms are on: without them the service answers what it always did.
    for item in ["Wartość", "wynik2", "WynikX", "Alarm"]:
        code, _, err = s.dde("request", T4660, item)
        t.equal(code, DDE_REFUSED, "item %r refused (%s)" % (item, err.strip()))
    t.equal(s.dde("request", T4660, "Wynik", "--service", "HX351")[0], DDE_NO_CONVERSATION, "service HX351 refused")
    t.equal(sorted(s.dde("list")[1]), ["HX350|" + T4660, "HX350|" + H4660], "list")
    t.equal(s.dde("list", "--service", "HX351")[:2], (DDE_NOT_FOUND, []), "list of another service")
    # Regression: a wildcard connection that names one topic got conversations on both.
    t.equal(s.dde("list", H4660)[:2], (DDE_OK, ["HX350|" + H4660]), "wildcard naming one topic lists it alone")
    t.equal(s.dde("list", "Temperatura#1")[:2], (DDE_NOT_FOUND, []), "wildcard naming a wrong topic")

    t.step("Unicode and ANSI clients spell the topic each their own way")
    # The default environment is a Western system (ANSI code page 1252) with a Unicode client.
    t.equal(s.dde_request(H4660, "Pomiar", "--ansi"), dde_refused(H4660),
            "Windows-1250 bytes on a Western system are another name")
    polish = polish_environment(s)
    if polish is None:
        log("  SKIPPED: no pl_PL locale source to compile for the Polish-system client")
    else:
        code, lines, err = s.dde("request", H4660, "Pomiar", "--ansi", "--hex", extra_env=polish)
        t.equal((code, lines), (DDE_OK, ["34 35 2E 36 20 25 00"]), "ANSI client on a Polish system (%s)" % err)
        t.equal(s.dde("list", "--ansi", H4660, extra_env=polish)[:2], (DDE_OK, ["HX350|" + H4660]),
                "ANSI wildcard naming the humidity topic")
        t.equal(s.dde_request(H4660, "Status", extra_env=polish), cp1250_item("Pomiar OK"),
                "Unicode client on a Polish system")

    t.step("advise: the current value at once, then one per line, never the other topic's value")
    # With lines 4 s apart, a value that arrives before the simulator writes the next line was sent at once. Short
    # characters let the program finish the last line well before the client has started.
    s.sim.send("char-ms 5", "interval 4000")
    before = s.sim.line_count()
    wait_until(lambda: s.sim.line_count() > before + 1, 15, "a line at the new interval")
    queued = s.sim.line_count()
    temperature = s.dde_advise("temperature_result", T4660, "Wynik", "--timeout", "60")
    humidity = s.dde_advise("humidity_status", H4660, "Status", "--timeout", "60")
    try:
        t.equal(temperature.wait_values(1, timeout=10), ["23.4"], "first advise value")
        t.expect(s.sim.line_count() == queued, "the first value came before the next line",
                 (queued, s.sim.line_count()))
        t.equal(humidity.wait_values(1, timeout=10), ["Pomiar OK"], "first status value")
        s.sim.send("interval 1000", "char-ms 30", "temp 24.5")
        temperature.wait_value("24.5")

        t.step("humidity error: only the humidity display blinks, its topic's status says so")
        s.sim.send("errors 1")
        s.wait_texts(status="HX-350 nr 4660. Błąd wartości wilgotności względnej. ")
        t.passed("status names the humidity error")
        humidity.wait_value("Błąd pomiaru")
        t.check(s.wait_blinking(TEMPERATURE, False), "temperature display steady")
        t.check(s.wait_blinking(HUMIDITY, True), "humidity display blinks")
        s.sim.send("errors 0")
        humidity.wait_last("Pomiar OK")
        t.passed("status back to OK")
        t.check(s.wait_blinking(HUMIDITY, False), "humidity display steady again")
        received = len(temperature.values())
        temperature.wait_values(received + 2)
        # Regression: Wine runs every advise link of an item for each topic posted, which handed the temperature
        # link the humidity value after each line.
        values = temperature.values()
        t.equal(sorted(set(values)), ["23.4", "24.5"], "temperature link got temperatures only")
        t.expect(values.index("24.5") > 0 and set(values[values.index("24.5"):]) == {"24.5"}, "values in order",
                 values)
    finally:
        humidity.stop()
        temperature.stop()

    t.step("new values and a new serial number while the link is up: the topics keep the old number")
    s.sim.send("temp -5.2", "rh 0.5", "serial 65535")
    s.wait_texts(status="HX-350 nr 65535. Pomiar prawidłowy. ", temperature="-5.2 °C", humidity="0.5 %")
    t.passed("values -5.2 °C, 0.5 %, serial 65535")
    # A new serial number alone, with the link up and the kind unchanged, does not restart the service.
    wait_until(lambda: s.dde_request(T4660, "Wynik") == cp1250_item("-5.2"), 15, "the new value under #4660")
    t.equal(s.dde_request("Temperatura#65535", "Wynik"), dde_refused("Temperatura#65535"),
            "the new number is not a topic yet")
    s.sim.send("temp 23.4", "rh 45.6")

    t.step("a damaged line: the link is lost at once, the service withdrawn and an advise client told")
    watcher = s.dde_advise("watcher", T4660, "Status", "--timeout", "60")
    try:
        watcher.wait_values(1)
        s.wait_texts(temperature="23.4 °C", humidity="45.6 %")
        s.sim.send("silence", "bad")
        sent = time.monotonic()
        s.wait_texts(status=NO_LINK, temperature="???", humidity="???")
        # The last good line ended at most one line interval (1 s) before, so the watchdog cannot fire within 4 s.
        t.expect(time.monotonic() - sent < 3.9, "lost before the watchdog could fire", time.monotonic() - sent)
        t.equal(watcher.wait_exit(), DDE_SERVICE_GONE, "advise client ends: service went away")
        t.expect("HX350 went away" in watcher.stderr(), "it says so", watcher.stderr())
    finally:
        watcher.stop()
    t.equal(s.dde_request(T4660, "Wynik"), dde_refused(T4660), "a fresh connect fails")
    t.equal(s.dde("list", "--serial", "4660")[:2], (DDE_NOT_FOUND, []), "nothing listed")
    t.equal(s.dde_resources(4660).get("atom HX350"), "0", "service name released")

    t.step("good lines return with another serial number: readings, and the service under it")
    s.sim.send("serial 1234", "resume")
    s.wait_texts(status="HX-350 nr 1234. Pomiar prawidłowy. ", temperature="23.4 °C", humidity="45.6 %")
    s.wait_served(T1234)
    t.equal(s.dde_request(H1234, "Pomiar"), cp1250_item("45.6 %"), "humidity on #1234")
    t.equal(s.dde_request(T4660, "Wynik"), dde_refused(T4660), "old serial number refused")
    t.equal(sorted(s.dde("list")[1]), ["HX350|" + T1234, "HX350|" + H1234], "list")

    t.step("kind-1 lines: temperature alone, two decimals; the humidity topic reports an error")
    s.sim.send("temp 23.46", "two-decimals 1", "kind 1")
    texts = s.wait_texts(status="HX-350 nr 1234. ", temperature="23.46 °C")
    t.equal(texts.get("humidity_visible"), "0", "humidity display hidden")
    t.equal(s.visible(HUMIDITY), False, "humidity control invisible")
    whole = s.rect(TEMPERATURE)
    t.equal(whole[:3], two_displays[0][:3], "temperature display keeps its left, top, right")
    t.equal(whole[3], two_displays[1][3], "temperature display reaches the bottom of the humidity area")
    t.check(s.wait_blinking(TEMPERATURE, False), "temperature display steady")
    s.screenshot("kind1")
    s.wait_served(T1234)
    # The last humidity stays readable; Status says it is not current.
    items(s, t, [(T1234, "Wynik", "23.46"), (T1234, "Pomiar", "23.46 °C"), (T1234, "Status", "Pomiar OK"),
                 (H1234, "Status", "Błąd pomiaru"), (H1234, "Wynik", "45.6")])
    s.sim.send("two-decimals 0")
    s.wait_texts(status="HX-350 nr 1234. Pomiar prawidłowy. ", temperature="23.5 °C")
    t.passed("the display rounds to one decimal: 23.5 °C")
    wait_until(lambda: s.dde_request(T1234, "Wynik") == cp1250_item("23.4"), 15, "DDE: one decimal, cut toward zero")
    s.sim.send("errors 2")
    s.wait_texts(status="HX-350 nr 1234. Błąd wartości temperatury. ")
    t.check(s.wait_blinking(TEMPERATURE, True), "kind-1 temperature error blinks")

    t.step("back to kind 0: two displays again")
    s.sim.send("errors 0", "temp 23.4", "serial 4660", "kind 0")
    texts = s.wait_texts(status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.equal(texts.get("humidity_visible"), "1", "humidity display shown")
    t.equal((s.rect(TEMPERATURE), s.rect(HUMIDITY)), two_displays, "two-display layout restored")


def link_cycles(s, t):
    t.step("good lines, then one damaged line: the pair that each cycle repeats")
    s.wait_served(T4660)
    s.sim.send("silence", "bad")
    s.wait_texts(status=NO_LINK)
    pair = s.sim.logged("line")[-1] + s.sim.logged("damaged")[-1]
    command = "raw " + pair * PAIRS_PER_COMMAND
    t.check(len(command) < 4000, "one raw command fits the simulator's line", len(command))
    s.sim.send("char-ms 0")
    serial = 100

    def cycle_round(commands):
        # The pairs go first; the simulator sends its next scheduled line, with the new serial number, only after
        # them, so a service under that number means the program has read every pair.
        nonlocal serial
        serial += 1
        s.sim.send("serial %d" % serial, *[command] * commands, "resume")
        s.wait_served("Temperatura#%d" % serial, timeout=commands * PAIRS_PER_COMMAND * 0.2 + 30)
        s.sim.send("silence", "bad")
        # Stopped service: its name has left the atom table once the last instance is gone.
        wait_until(lambda: s.dde_resources(serial).get("atom HX350") == "0", 15, "the service to stop")
        names = s.dde_resources(serial)
        leftovers = sorted(k for k, v in names.items() if k.startswith("atom HX350") and v != "0")
        sample = {"windows": int(names["windows"]), "global_atoms": int(names["global_atoms"]),
                  "dde_atoms": leftovers + sorted(k for k, v in names.items() if "#" in k and v != "0"),
                  "rss_kb": s.memory_kb()}
        log("  after round %d: %r" % (len(samples), sample))
        return sample

    t.step("a warm-up round, then %d rounds" % ROUNDS)
    samples = []
    samples.append(cycle_round(1))
    for _ in range(ROUNDS):
        samples.append(cycle_round(COMMANDS_PER_ROUND))

    t.step("flat after %d link up/down cycles" % (PAIRS_PER_COMMAND * (1 + ROUNDS * COMMANDS_PER_ROUND)))
    first, measured = samples[0], samples[1:]
    t.equal([m["windows"] for m in measured], [first["windows"]] * ROUNDS, "windows of the program")
    t.equal([m["global_atoms"] for m in measured], [first["global_atoms"]] * ROUNDS, "global atoms")
    t.equal([m["dde_atoms"] for m in samples], [[]] * (ROUNDS + 1), "no DDE name atom left while stopped")
    growth = [later["rss_kb"] - earlier["rss_kb"] for earlier, later in zip(samples, samples[1:])]
    t.expect(max(growth[1:]) <= RSS_TOLERANCE_KB,
             "resident memory within %d kB per round after the warm-up" % RSS_TOLERANCE_KB, growth)

    t.step("the program still serves requests")
    s.sim.send("serial 4660", "char-ms 30", "resume")
    s.wait_texts(status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    s.wait_served(T4660)
    t.equal(s.dde_request(T4660, "Pomiar"), cp1250_item("23.4 °C"), "Temperatura#4660!Pomiar")


def port_lost(s, t):
    t.step("the simulator stops while Porty is open: the worker ends and the status names the port")
    s.open_dialog(CMD_PORT, "Porty")
    process = s.wine_process()
    reading = s.thread_count(process)
    s.sim.stop()
    s.sim = None
    wait_until(lambda: s.thread_count(process) < reading, 15, "the serial worker to end")
    t.passed("the worker's thread has gone (%d -> %d threads)" % (reading, s.thread_count(process)))
    t.check(s.running(), "the program still runs")
    s.wait_texts(timeout=15, status=PORT_GONE)
    t.passed("status names the lost port under the dialog")

    t.step("Anuluj: the port is still named, and it comes back by itself")
    s.close_dialog("Porty")
    t.equal(s.texts().get("status"), PORT_GONE, "status after Anuluj")
    s.screenshot("lost_after_cancel")
    s.sim = Simulator(s.config, s.folder, ())
    s.wait_texts(timeout=15, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.passed("live values again")


if __name__ == "__main__":
    sys.exit(Scenario("live", ini=SETTINGS, deadline=480).run(body))
