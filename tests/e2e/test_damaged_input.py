"""Damaged instrument input at full speed: random bytes, bit flips and lines cut short among good lines.

For a minute (five with HX350_LONG=1; HX350_CHAOS_SECONDS sets any length) the window is read over and over: it
never shows a value that no good line carried. Which lines were good is decided afterwards by hx350-decode on the
bytes the pty accepted (the simulator logs those, not what it meant to send: a full pty drops bytes, and a line
cut short that way may decode to a value of its own), so a random line that happens to decode counts as good.
Then the link is lost, and once a carriage return has closed what the noise left unfinished, the first good line
brings the readings back."""

import json
import os
import subprocess
import sys
import time

from harness import NO_LINK, OK_4660, Scenario, length

SECONDS = int(os.environ.get("HX350_CHAOS_SECONDS", length(60, 300)))


def good_values(s):
    """Display texts that some good line among the bytes the program received carried."""
    sent = bytearray()
    for line in s.sim.log_path.read_text(errors="replace").splitlines():
        parts = line.split()
        if len(parts) > 2 and parts[0] == "hx350-sim:" and parts[1].split("-")[0] in ("line", "damaged", "cut", "noise"):
            sent += bytes.fromhex("".join(parts[2:]))
    decoded = subprocess.run([str(s.config.decode)], input=bytes(sent), capture_output=True, check=True).stdout
    temperatures, humidities = set(), set()
    for line in decoded.splitlines():
        record = json.loads(line)
        if not record["good"]:
            continue
        if record["kind"] == 0:
            temperatures.add("%.1f °C" % record["thermoHygro"]["temperature"])
            humidities.add("%.1f %%" % record["thermoHygro"]["humidity"])
        else:
            fine = record["fineThermo"]
            temperatures.add(("%.2f °C" if fine["twoDecimals"] else "%.1f °C") % fine["temperature"])
    return temperatures, humidities


def body(s, t):
    s.wait_visible()
    # The flood starts once the program reads: what the pty held before the port was opened may be purged.
    s.wait_texts(timeout=30, status=OK_4660)
    for command in ("char-ms 0", "interval 2", "chaos 1"):
        s.sim.send(command)
    t.step("%d s of damaged input at full speed" % SECONDS)
    shown_temperatures, shown_humidities, reads = set(), set(), 0
    end = time.monotonic() + SECONDS
    while time.monotonic() < end:
        # A hang fails here, a slow answer does not: under this flood, 250 times the instrument's fastest rate, a
        # read from another process has waited over its 3 s once in a few minutes, so it is asked twice.
        texts = s.texts() or s.texts()
        t.check(texts, "the window answers")
        shown_temperatures.add(texts.get("temperature"))
        shown_humidities.add(texts.get("humidity"))
        reads += 1  # each read takes a few hundred milliseconds: that is the pace
    s.sim.send("chaos 0")
    s.sim.send("silence")
    s.wait_texts(timeout=15, status=NO_LINK)
    temperatures, humidities = good_values(s)
    t.expect(shown_temperatures <= temperatures | {"???"}, "%d reads: only temperatures of good lines" % reads,
             (sorted(shown_temperatures), sorted(temperatures)))
    t.expect(shown_humidities <= humidities | {"???"}, "only humidities of good lines",
             (sorted(shown_humidities), sorted(humidities)))

    t.step("the first good line after the loss brings the readings back")
    # The noise may have ended inside a line: its carriage return closes that one, as the next line's own would.
    s.sim.send("raw 0D")
    s.sim.send("line")
    s.wait_texts(timeout=15, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.passed("readings back")


if __name__ == "__main__":
    sys.exit(Scenario("damaged_input", sim_args=("--seed", "7"),
                      ini=b"[GENERAL]\r\nPORT_NR=7\r\n", deadline=SECONDS + 150).run(body))
