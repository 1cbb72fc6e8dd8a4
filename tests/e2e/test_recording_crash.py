"""The program killed (SIGKILL to its Wine process) at 8 random moments (30 with HX350_LONG=1) while it records
every second.

After every kill both files still hold every byte that was there just before it, the text file ends with CR LF,
and every binary record passes its checks; each new run continues the files at launch and keeps every byte they
held after the kill before it. The moments are random
within the recording second; the seed is printed so that a failure can be repeated (HX350_CRASH_SEED)."""

import os
import random
import sys
import time

from harness import Scenario, length, settings_file
from records import binary_record, binary_stamp, split_binary, text_records

KILLS = length(8, 30)
SETTINGS = settings_file(PORT_NR=7, FILE_LOG=1, FILE_LOG_BIN=1, FILE_INTERVAL=1, FILE_NAME="log.txt",
                         FILE_NAME_BIN="log.hxg")


def valid_binary(data):
    """True when every record of the file passes its check bytes (the plain content is rebuilt to compare)."""
    for record in split_binary(data):
        plain = bytes((256 - b) % 256 for b in record)
        if len(plain) < 18 or plain[-3] != 64:
            return False
        total = sum(plain[:-3])
        if plain[-2] != total % 253 + 1 or plain[-1] != total % 251 + 1:
            return False
    return True


def body(s, t):
    seed = int(os.environ.get("HX350_CRASH_SEED", time.time()))
    t.step("seed %d" % seed)
    rng = random.Random(seed)
    text_path, binary_path = s.folder / "log.txt", s.folder / "log.hxg"
    records_before = 0
    kept = (b"", b"")  # the files after the last kill
    for kill in range(KILLS):
        if kill:
            s.start_program()
        s.wait_visible()
        s.wait_condition(lambda: text_path.exists() and len(text_records(text_path.read_bytes())) > records_before,
                         "a record of run %d" % (kill + 1), timeout=30)
        # A random moment within the next two recording seconds.
        deadline = time.monotonic() + rng.uniform(0, 2)
        s.wait_condition(lambda: time.monotonic() >= deadline, "the moment to kill", timeout=5)
        before = (text_path.read_bytes(), binary_path.read_bytes())
        t.check(all(b.startswith(k) for b, k in zip(before, kept)),
                "run %d continued the files with every byte they held" % (kill + 1))
        s.kill_program()
        after = (text_path.read_bytes(), binary_path.read_bytes())
        intact = all(a.startswith(b) for a, b in zip(after, before))
        t.check(intact, "kill %d: every byte written before the kill is still there" % (kill + 1))
        t.check(after[0].endswith(b"\r\n"), "kill %d: the text file ends with CR LF" % (kill + 1))
        t.check(valid_binary(after[1]), "kill %d: every binary record passes its checks" % (kill + 1))
        records_before = len(text_records(after[0]))
        kept = after

    t.step("the whole recording")
    text, binary = text_path.read_bytes(), binary_path.read_bytes()
    stamps = [stamp for stamp, _ in text_records(text)]
    t.expect(stamps == sorted(stamps) and len(set(stamps)) == len(stamps), "time stamps strictly increase")
    # A kill between a tick's two writes leaves that tick in the text file alone.
    binary_stamps = [binary_stamp(r) for r in split_binary(binary)]
    t.expect(set(binary_stamps) <= set(stamps) and len(binary_stamps) >= len(stamps) - KILLS,
             "every binary record belongs to a text record", (len(binary_stamps), len(stamps)))
    t.expect(all(r in (binary_record(stamp, 23.4, 45.6), binary_record(stamp))
                 for r, stamp in zip(split_binary(binary), binary_stamps)), "binary records hold the values")

if __name__ == "__main__":
    sys.exit(Scenario("recording_crash", ini=SETTINGS, deadline=60 + 30 * KILLS).run(body))
