"""libhx350ptyshim.so, preloaded into a Python child: on pty slaves it answers the modem-line ioctls and accepts
7-bit settings; every other descriptor, and every other request, goes to the C library unchanged."""

import argparse
import json
import os
import subprocess
import sys
import unittest

SHIM = None

CHILD = r"""
import fcntl, json, os, pty, struct, termios
out = {}
def modem(fd, request, value=0):
    try:
        return struct.unpack("i", fcntl.ioctl(fd, request, struct.pack("i", value)))[0]
    except OSError as e:
        return "errno %d" % e.errno
master, slave = pty.openpty()
out["get"] = modem(slave, termios.TIOCMGET)
modem(slave, termios.TIOCMBIS, termios.TIOCM_DTR | termios.TIOCM_RTS)
out["after_bis"] = modem(slave, termios.TIOCMGET)
modem(slave, termios.TIOCMBIC, termios.TIOCM_RTS)
out["after_bic"] = modem(slave, termios.TIOCMGET)
modem(slave, termios.TIOCMSET, 0)
out["after_set"] = modem(slave, termios.TIOCMGET)
out["master_get"] = modem(master, termios.TIOCMGET)
with open(os.devnull, "rb") as null:
    out["devnull_get"] = modem(null.fileno(), termios.TIOCMGET)
attrs = termios.tcgetattr(slave)
attrs[2] = (attrs[2] & ~termios.CSIZE) | termios.CS7 | termios.PARENB
try:
    termios.tcsetattr(slave, termios.TCSANOW, attrs)
    cflag = termios.tcgetattr(slave)[2]
    out["seven_bits"] = {"ok": True, "cs8": cflag & termios.CSIZE == termios.CS8, "parity": bool(cflag & termios.PARENB)}
except termios.error as e:
    out["seven_bits"] = {"ok": False, "errno": e.args[0]}
winsize = fcntl.ioctl(slave, termios.TIOCGWINSZ, b"\0" * 8)
out["winsize_len"] = len(winsize)
print(json.dumps(out))
"""


def run_child(preload):
    env = dict(os.environ)
    env.pop("LD_PRELOAD", None)
    if preload:
        env["LD_PRELOAD"] = preload
    result = subprocess.run([sys.executable, "-c", CHILD], env=env, stdout=subprocess.PIPE, timeout=30, check=True)
    return json.loads(result.stdout)


class PtyShim(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        import termios

        cls.t = termios
        cls.lines_on = termios.TIOCM_CTS | termios.TIOCM_DSR | termios.TIOCM_CAR
        cls.plain = run_child(None)
        cls.shimmed = run_child(SHIM)

    def test_without_the_shim_a_pty_has_no_modem_lines(self):
        # Why the shim exists: this is what Wine's serial code meets on a pty.
        self.assertTrue(str(self.plain["get"]).startswith("errno"), self.plain)

    def test_modem_lines_on_a_pty(self):
        t = self.t
        self.assertEqual(self.shimmed["get"], self.lines_on)
        self.assertEqual(self.shimmed["after_bis"], self.lines_on | t.TIOCM_DTR | t.TIOCM_RTS)
        self.assertEqual(self.shimmed["after_bic"], self.lines_on | t.TIOCM_DTR)
        self.assertEqual(self.shimmed["after_set"], self.lines_on)

    def test_other_descriptors_pass_through(self):
        self.assertEqual(self.shimmed["master_get"], self.plain["master_get"])
        self.assertEqual(self.shimmed["devnull_get"], self.plain["devnull_get"])
        self.assertTrue(str(self.shimmed["devnull_get"]).startswith("errno"))
        self.assertEqual(self.shimmed["winsize_len"], 8)

    def test_seven_bit_settings_fall_back_to_eight_bits(self):
        self.assertEqual(self.shimmed["seven_bits"], {"ok": True, "cs8": True, "parity": False})
        if not self.plain["seven_bits"]["ok"]:
            self.assertEqual(self.plain["seven_bits"]["errno"], 22)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--shim", required=True)
    args, rest = parser.parse_known_args()
    SHIM = os.path.abspath(args.shim)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
