"""Starting and stopping the DDE service leaves nothing behind.

The simulator alternates good and damaged lines, so the link (and with it the DDE service) goes up and down with
every pair: several hundred cycles in rounds. After each round a line with a new serial number proves that the
program read everything and still serves requests; then the link is dropped and, with the service stopped, the
program's windows (DDEML makes its own for every instance), the global atom table and its resident memory are
measured. After a warm-up round they must stay flat.

Wine's DdeUninitialize releases the string handles and the name registration of an instance by itself, so from
outside a leak shows as an instance left behind: its windows, its "HX350(0x…)" atom and its memory."""

import sys

from harness import CheckFailed, Scenario, log, wait_until
from test_dde import NO_LINK, OK_4660, SETTINGS, TEMPERATURE_TOPIC, DdeTool

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


def body(s, t):
    dde = DdeTool(s)

    t.step("good lines, then one damaged line: the pair that each cycle repeats")
    s.wait_visible()
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


if __name__ == "__main__":
    sys.exit(Scenario("dde_leak", ini=SETTINGS).run(body))
