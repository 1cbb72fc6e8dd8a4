"""hx350-sim sends what the instrument sends: checked byte for byte against the worked example and, for a table
of instrument states, through hx350-decode (the program's own line assembly and decoder). No Wine needed."""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest

SIM = None
DECODE = None

WORKED_EXAMPLE = bytes.fromhex("40 70 73 34 31 32 34 75 76 70 32 73 34 0D")


def simulate(*args, stdin=None):
    """The bytes hx350-sim writes to stdout, unpaced."""
    result = subprocess.run([SIM, "--device", "-", "--char-ms", "0"] + list(args), input=stdin,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
    if result.returncode != 0:
        raise AssertionError("hx350-sim %s failed: %s" % (args, result.stderr.decode()))
    return result.stdout


def decode(data):
    result = subprocess.run([DECODE], input=data, stdout=subprocess.PIPE, timeout=30, check=True)
    return [json.loads(line) for line in result.stdout.decode().splitlines()]


def assert_reading(test, record, kind, fields):
    """A good record of `kind` whose sub-record holds `fields`."""
    test.assertTrue(record["good"], record)
    test.assertEqual(record["kind"], kind)
    sub = record["thermoHygro" if kind == 0 else "fineThermo"]
    for name, value in fields.items():
        test.assertAlmostEqual(sub[name], value, places=9, msg=name)


class WireBytes(unittest.TestCase):
    def test_lines_are_sent_exactly(self):
        for args, expected in [
            (["--serial", "4660", "--temp", "23.4", "--rh", "45.6"], WORKED_EXAMPLE),
            (["--temp", "-5.2"], WORKED_EXAMPLE[:9] + bytes.fromhex("6D 70 75 32 0D")),  # the minus code
        ]:
            with self.subTest(args=args):
                self.assertEqual(simulate(*args, "--count", "1"), expected)


class DecodedReadings(unittest.TestCase):
    TABLE = [
        # args, kind, expected sub-record fields
        ([], 0, {"serialNumber": 4660, "temperature": 23.4, "humidity": 45.6, "calibrationError": 0,
                 "temperatureError": 0, "humidityError": 0}),
        (["--serial", "0", "--temp", "-99.9", "--rh", "0"], 0, {"serialNumber": 0, "temperature": -99.9,
                                                               "humidity": 0.0}),
        (["--serial", "65535", "--temp", "999.9", "--rh", "99.9"], 0, {"serialNumber": 65535, "temperature": 999.9,
                                                                      "humidity": 99.9}),
        (["--serial", "43981", "--temp", "0.1"], 0, {"serialNumber": 43981, "temperature": 0.1}),
        (["--error-bits", "1"], 0, {"humidityError": 1, "temperatureError": 0, "calibrationError": 0}),
        (["--error-bits", "6"], 0, {"humidityError": 0, "temperatureError": 2, "calibrationError": 4}),
        (["--kind1", "--two-decimals", "--temp", "21.57"], 1, {"serialNumber": 4660, "temperature": 21.57,
                                                               "twoDecimals": 1}),
        (["--kind1", "--temp", "-0.05", "--serial", "1"], 1, {"serialNumber": 1, "temperature": -0.05,
                                                              "twoDecimals": 0}),
        (["--kind1", "--error-bits", "7", "--temp", "-999.99"], 1, {"temperature": -999.99, "temperatureError": 2,
                                                                    "calibrationError": 4, "twoDecimals": 0}),
        (["--serial", "65535", "--temp", "999.9", "--rh", "99.9", "--error-bits", "7"], 0, {"humidityError": 1}),
        (["--kind1", "--temp", "9999.99", "--error-bits", "6"], 1, {"temperature": 9999.99, "calibrationError": 4}),
    ]

    def test_table(self):
        for args, kind, fields in self.TABLE:
            with self.subTest(args=args):
                line = simulate(*args, "--count", "1")
                # The decoder checks parity and shape but ignores bit 7.
                self.assertTrue(all(b < 0x80 for b in line), line.hex(" "))
                (record,) = decode(line)
                assert_reading(self, record, kind, fields)

    def test_damaged_lines_are_rejected(self):
        for args, results in [(["--count", "4"], [1, 0, 1, 0]), (["--kind1", "--count", "2"], [1, 0])]:
            records = decode(simulate(*args, "--interval-ms", "1", "--damaged-every", "2"))
            self.assertEqual([r["result"] for r in records], results, args)


class Replay(unittest.TestCase):
    def test_replay_sends_the_file_unchanged_line_by_line(self):
        recorded = WORKED_EXAMPLE + bytes.fromhex("40 70 73 34 31 32 34 75 76 6D 70 75 32 0D") + b"\x01\x02garbage"
        with tempfile.NamedTemporaryFile(suffix=".bin") as f:
            f.write(recorded)
            f.flush()
            self.assertEqual(simulate("--replay", f.name, "--interval-ms", "1"), recorded)
            self.assertEqual(simulate("--replay", f.name, "--interval-ms", "1", "--count", "1"), WORKED_EXAMPLE)


class ControlChannel(unittest.TestCase):
    def test_commands_change_the_lines_that_follow(self):
        commands = (
            "serial 1\ntemp -1.5\nrh 12.3\nline\n"
            "errors 6\nline\n"
            "kind 1\ntwo-decimals 1\ntemp 21.57\nline\n"
            "bad\n"
            "raw 40 70 73 34 31 32 34 75 76 70 32 73 34 0D\n"
            "quit\n"
        )
        data = simulate("--interval-ms", "3600000", "--control", "-", stdin=commands.encode())
        self.assertTrue(data.endswith(WORKED_EXAMPLE), "raw bytes are sent as given, after what was queued")
        records = decode(data)
        self.assertEqual([r["result"] for r in records], [1, 1, 1, 1, 0, 1])
        assert_reading(self, records[0], 0, {"serialNumber": 4660})  # the first line precedes the commands
        assert_reading(self, records[1], 0, {"serialNumber": 1, "temperature": -1.5, "humidity": 12.3})
        assert_reading(self, records[2], 0, {"calibrationError": 4})
        assert_reading(self, records[3], 1, {"temperature": 21.57, "twoDecimals": 1})

    def test_bad_commands_are_ignored(self):
        data = simulate("--interval-ms", "3600000", "--control", "-",
                        stdin=b"serial 70000\ntemp x\nraw 4\nnonsense\nline\nquit\n")
        self.assertEqual(data, WORKED_EXAMPLE * 2)


class Pacing(unittest.TestCase):
    def test_lines_are_paced_by_interval_and_character_time(self):
        started = time.monotonic()
        result = subprocess.run([SIM, "--device", "-", "--count", "3", "--interval-ms", "200", "--char-ms", "10"],
                                stdout=subprocess.PIPE, timeout=30, check=True)
        elapsed = time.monotonic() - started
        self.assertEqual(result.stdout, WORKED_EXAMPLE * 3)
        # Two intervals, then 14 characters of 10 ms for the last line; never faster than that.
        self.assertGreaterEqual(elapsed, 0.4 + 0.13)
        self.assertLess(elapsed, 5.0)


class FullPty(unittest.TestCase):
    """A receiver that falls behind: the log names exactly the bytes the pty accepted, and --block drops none."""

    def flood(self, block):
        with tempfile.TemporaryDirectory() as folder:
            link, control, log = folder + "/tty", folder + "/ctl", folder + "/sim.log"
            with open(log, "wb") as err:
                sim = subprocess.Popen([SIM, "--link", link, "--control", control, "--verbose", "--chaos",
                                        "--interval-ms", "1", "--char-ms", "0"] + (["--block"] if block else []),
                                       stdout=subprocess.DEVNULL, stderr=err)
            try:
                deadline = time.monotonic() + 30
                while not os.path.exists(control) and time.monotonic() < deadline:
                    time.sleep(0.05)
                tty = os.open(link, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
                received = bytearray()

                def read_all():
                    try:
                        while True:
                            received.extend(os.read(tty, 65536))
                    except BlockingIOError:
                        pass

                def logged():
                    with open(log, errors="replace") as text:
                        parts = [line.split() for line in text.read().splitlines()]
                    return [p for p in parts if len(p) > 1 and p[0] == "hx350-sim:" and p[1] != "command:"]

                # 3 000 lines of up to 300 bytes overflow the pty many times over unless someone reads.
                while len(logged()) < 3000 and time.monotonic() < deadline:
                    if block:
                        read_all()
                    time.sleep(0.01)
                with open(control, "w") as fifo:
                    fifo.write("silence\n")
                sent = b""
                while time.monotonic() < deadline:
                    time.sleep(0.2)
                    read_all()
                    lines = logged()
                    sent = b"".join(bytes.fromhex("".join(p[2:])) for p in lines)
                    if len(received) == len(sent) and lines == logged():
                        break
                os.close(tty)
            finally:
                sim.terminate()
                sim.wait(timeout=10)
            return lines, bytes(received), sent

    def test_the_log_holds_what_the_pty_accepted(self):
        lines, received, sent = self.flood(block=False)
        self.assertTrue(any(p[1].endswith("-short") for p in lines), "nobody read: the pty dropped bytes")
        self.assertEqual(received, sent)

    def test_block_waits_instead_of_dropping(self):
        lines, received, sent = self.flood(block=True)
        self.assertFalse([p for p in lines if p[1].endswith("-short")])
        self.assertEqual(received, sent)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim", required=True)
    parser.add_argument("--decode", required=True)
    args, rest = parser.parse_known_args()
    SIM, DECODE = args.sim, args.decode
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
