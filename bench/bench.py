"""Benchmark of HX350.exe's live path under Wine (run through bench/bench.sh, on demand, never in CI).

Prints one table: latency from a carriage return written to the pty to a DDE advise received by a client and to
the temperature display's text changing in the window, at the instrument's pace and for whole lines at once; the
same for a minimal COM reader (the floor that the pty and Wine's serial path add); CPU of the program and of its
wineserver while idle and at the instrument's pace; private memory and its slope per 1000 lines; the program's
share of the start-up time; the native decoder throughput.

Every stamp is CLOCK_MONOTONIC_RAW in nanoseconds: the simulator takes it right after the write() of each carriage
return, and the Win32 tools take QueryPerformanceCounter, which under Wine reads the same clock.
"""

import argparse
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
import harness  # noqa: E402
import peers  # noqa: E402

PACED = ["--interval-ms", "500", "--char-ms", "30"]  # the instrument: 300 baud, a line every half second at most
UNPACED_INTERVAL_MS = 100
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
VALUE = re.compile(r"(-?\d+)\.(\d)")


def now_ns():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW)


def log(text):
    print("bench: " + text, file=sys.stderr, flush=True)


def load_average():
    return open("/proc/loadavg").read().split()[0]


# ----- reading the stamps -----


PREEMPTED_NS = 100_000
preempted = {"stamps": 0, "late": 0}


def read_stamps(path, with_values=True):
    """[(ns, tenths)] of the lines the simulator sent (with a value unless with_values is false).

    The stamp after the write is the one to use, unless the write took long: the reader it woke may have run on
    this core first (a 2-core machine under load), and then the byte was there by the stamp before the write."""
    stamps = []
    for line in Path(path).read_text().splitlines():
        fields = line.split()
        if len(fields) < 2 or (with_values and fields[1] == "-"):
            continue
        ns = int(fields[0])
        if len(fields) > 2 and ns - int(fields[2]) > PREEMPTED_NS:
            preempted["late"] += 1
            ns = int(fields[2])
        preempted["stamps"] += 1
        stamps.append((ns, int(fields[1]) if fields[1] != "-" else None))
    return stamps


def read_events(path):
    """[(ns, tenths)] from "NS TEXT" lines (hx350-dde advise --qpc, hx350-win watch); texts without a value are
    left out."""
    events = []
    for line in Path(path).read_bytes().decode("utf-8", "replace").splitlines():
        ns, _, text = line.strip().partition(" ")
        match = VALUE.search(text)
        if ns.isdigit() and match:
            whole, tenth = match.groups()
            tenths = int(whole) * 10 + (int(tenth) if not whole.startswith("-") else -int(tenth))
            events.append((int(ns), tenths))
    return events


def latencies(stamps, events, start_ns, end_ns):
    """Milliseconds from each line's carriage return (sent between start_ns and end_ns) to the first event that
    carries its value; and how many of those lines never showed up. Values repeat only every 1000 lines, so the
    first event after the stamp with that value is the line's."""
    by_value = {}
    for ns, tenths in events:
        by_value.setdefault(tenths, []).append(ns)
    result, lost = [], 0
    for ns, tenths in stamps:
        if ns < start_ns or ns > end_ns:
            continue
        later = [t for t in by_value.get(tenths, []) if t >= ns - 1_000_000]  # 1 ms of slack for clock reads
        if later:
            result.append((min(later) - ns) / 1e6)
        else:
            lost += 1
    return result, lost


def summary(values, lost=0):
    if not values:
        return {"n": 0, "lost": lost}
    ordered = sorted(values)
    p99 = ordered[min(len(ordered) - 1, int(round(0.99 * (len(ordered) - 1))))]
    return {"n": len(values), "lost": lost, "min": ordered[0], "median": statistics.median(ordered), "p99": p99,
            "max": ordered[-1]}


# ----- processes -----


def environ_of(pid):
    try:
        raw = Path("/proc/%d/environ" % pid).read_bytes()
    except OSError:
        return {}
    pairs = (item.partition(b"=") for item in raw.split(b"\0") if b"=" in item)
    return {k.decode(errors="replace"): v.decode(errors="replace") for k, _, v in pairs}


def find_pids(prefix, program_path=None):
    """Linux pids of the program (its cmdline is its own path under Wine) and of the wineserver of `prefix`."""
    program, server = None, None
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        pid = int(entry.name)
        try:
            cmdline = (entry / "cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
        except OSError:
            continue
        if program_path and cmdline == str(program_path):
            program = pid
        elif os.path.basename(cmdline).startswith("wineserver") and environ_of(pid).get("WINEPREFIX") == str(prefix):
            server = pid
    return program, server


def cpu_seconds(pid):
    fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime, stime (fields 14 and 15)


def private_kb(pid):
    total = 0
    for line in Path("/proc/%d/smaps_rollup" % pid).read_text().splitlines():
        if line.startswith(("Private_Clean:", "Private_Dirty:")):
            total += int(line.split()[1])
    return total


def thread_count(pid):
    for line in Path("/proc/%d/status" % pid).read_text().splitlines():
        if line.startswith("Threads:"):
            return int(line.split()[1])
    return 0


def slope(points):
    """Least-squares slope of [(x, y)]."""
    if len(points) < 2:
        return 0.0
    mx = sum(x for x, _ in points) / len(points)
    my = sum(y for _, y in points) / len(points)
    sxx = sum((x - mx) ** 2 for x, _ in points)
    return sum((x - mx) * (y - my) for x, y in points) / sxx if sxx else 0.0


class Sampler:
    """Private memory and threads of the program against the number of lines sent so far."""

    def __init__(self, pid, stamps_path):
        self.pid, self.stamps_path, self.points = pid, stamps_path, []

    def sample(self):
        lines = sum(1 for _ in open(self.stamps_path))
        self.points.append((lines, private_kb(self.pid), thread_count(self.pid)))

    def run_for(self, seconds, every=2.0):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.sample()
            time.sleep(min(every, max(0.0, end - time.monotonic())))
        self.sample()


def cpu_window(pids, seconds, during=None):
    """Share of one core used by each pid over `seconds` (running `during(seconds)` meanwhile, else sleeping)."""
    before = {name: cpu_seconds(pid) for name, pid in pids.items()}
    started = time.monotonic()
    if during:
        during(seconds)
    else:
        time.sleep(seconds)
    elapsed = time.monotonic() - started
    return {name: (cpu_seconds(pid) - before[name]) / elapsed for name, pid in pids.items()}, elapsed


# ----- the runs -----


class Bench:
    def __init__(self, config, quick):
        self.config = config
        self.quick = quick
        self.results = {}
        self.dde_tool = config.mingw / "tools" / "hx350-dde.exe"
        self.watch_tool = config.mingw / "bench" / "hx350-watch.exe"

    def lines(self, n):
        return max(20, n // 10) if self.quick else n

    def seconds(self, s):
        return max(5, s // 6) if self.quick else s

    def wine(self, session, args, name, **extra):
        """A Win32 tool under the session's wineserver, its output to a file (never a pipe: see harness.Session)."""
        out = session.folder / (name + ".txt")
        return subprocess.Popen(["wine"] + [str(a) for a in args], env=session.env, stdout=open(out, "wb"),
                                stderr=open(session.folder / (name + ".err"), "wb"), stdin=subprocess.DEVNULL,
                                **extra), out

    def session(self, name, sim_args):
        ini = harness.settings_file(PORT_NR=harness.SIM_PORT, SHOW_ADV=0)
        folder = self.config.work / "tests" / name
        stamps = folder / "stamps.txt"
        session = harness.Session(self.config, name, ini=ini, close_info=False,
                                  sim_args=["--ramp", "--stamps", str(stamps)] + sim_args)
        return session, stamps

    def wait_lines(self, stamps, count, timeout):
        harness.wait_until(lambda: sum(1 for _ in open(stamps)) >= count, timeout, "%d lines sent" % count, 0.5)

    def dde_client(self, session):
        """An advise client; the service exists only once good lines arrive, so it is asked again until then."""
        deadline = time.monotonic() + 60
        while True:
            client, out = self.wine(session, [self.dde_tool, "advise", "Temperatura#4660", "Wynik", "--qpc"], "dde")
            try:
                harness.wait_until(lambda: read_events(out) or client.poll() is not None, 30, "the first DDE advise")
            except harness.CheckFailed:
                harness.stop_process(client)
                raise
            if client.poll() is None:
                return client, out
            if time.monotonic() > deadline:
                raise harness.CheckFailed("no DDE conversation: %s" % (session.folder / "dde.err").read_text())
            time.sleep(1)

    def run_program(self):
        n = self.lines(300)
        session, stamps = self.session("paced", PACED)
        try:
            session.start()
            session.wait_visible()
            program, server = find_pids(self.config.prefix, session.folder / "HX350.exe")
            sampler = Sampler(program, stamps)
            sampler.sample()
            self.results["private_after_start_kb"] = sampler.points[0][1]
            client, dde_out = self.dde_client(session)
            start = now_ns()
            first_line = sum(1 for _ in open(stamps))
            # CPU at the instrument's pace with one DDE client, and the advise latency over the same lines.
            log("paced: CPU window and DDE latency (load %s)" % load_average())
            cpu, _ = cpu_window({"program": program, "wineserver": server}, self.seconds(60), sampler.run_for)
            self.results["cpu_paced"] = cpu
            self.wait_lines(stamps, first_line + n + 2, n * 0.5 + 60)
            end = now_ns()
            sampler.sample()
            lines_sent = sum(1 for _ in open(stamps)) - first_line
            # One line every 0.5 s: a share of one core times 500 ms is the CPU time a line costs.
            self.results["cpu_ms_per_line"] = {k: v * 500 for k, v in cpu.items()}
            self.results["lat_paced_dde"] = summary(*latencies(read_stamps(stamps), read_events(dde_out), start, end))
            memory = [(lines, kb) for lines, kb, _ in sampler.points]
            threads = [(lines, t) for lines, _, t in sampler.points]
            self.results["private_slope_kb_per_1000"] = slope(memory) * 1000
            self.results["threads_slope_per_1000"] = slope(threads) * 1000
            self.results["memory_lines"] = lines_sent
            self.results["private_end_kb"] = sampler.points[-1][1]
            # The window's text, watched in a process of its own, on further lines.
            log("paced: window text latency (load %s)" % load_average())
            watcher, watch_out = self.wine(session, [self.watch_tool, "text", harness.TEMPERATURE, "--poll"],
                                           "watch")
            harness.wait_until(lambda: read_events(watch_out), 60, "the watcher's first text")
            start = now_ns()
            first_line = sum(1 for _ in open(stamps))
            self.wait_lines(stamps, first_line + n + 2, n * 0.5 + 60)
            end = now_ns()
            harness.stop_process(watcher)
            self.results["lat_paced_window"] = summary(
                *latencies(read_stamps(stamps), read_events(watch_out), start, end))
            # Nothing arrives: the link is lost after 5 s and the displays blink, as they would.
            session.sim.send("silence")
            time.sleep(7)
            log("idle: CPU window (load %s)" % load_average())
            cpu, _ = cpu_window({"program": program, "wineserver": server}, self.seconds(60))
            self.results["cpu_idle"] = cpu
            self.results["threads_end"] = thread_count(program)
            harness.stop_process(client)
        finally:
            session.stop()

    def run_mqtt(self):
        """CPU and private memory at the instrument's pace with MQTT off and on (a broker on loopback, a record a
        minute, as set up by default), with steady values (a state every 30 s) and with a temperature that changes
        at every line (a state every second), each over the same two-minute window."""
        broker = peers.Mosquitto(self.config.work / "mqtt-broker", {})
        section = b"[MQTT]\r\nENABLED=1\r\nHOST=127.0.0.1\r\nPORT=%d\r\nSTATION=bench\r\n" % broker.port
        try:
            for name, mqtt, values in (("off", b"", []), ("on", section, []), ("off_changing", b"", ["--ramp"]),
                                       ("on_changing", section, ["--ramp"])):
                ini = harness.settings_file(PORT_NR=harness.SIM_PORT, SHOW_ADV=0) + mqtt
                session = harness.Session(self.config, "mqtt_" + name, ini=ini, close_info=False,
                                          sim_args=PACED + values)
                try:
                    session.start()
                    session.wait_visible()
                    session.wait_texts(timeout=30, humidity="45.6 %")
                    program, server = find_pids(self.config.prefix, session.folder / "HX350.exe")
                    log("MQTT %s: CPU window (load %s)" % (name, load_average()))
                    cpu, _ = cpu_window({"program": program, "wineserver": server}, self.seconds(120))
                    self.results["mqtt_" + name] = dict(cpu, private_kb=private_kb(program),
                                                        threads=thread_count(program))
                finally:
                    session.stop()
        finally:
            broker.stop()

    def run_unpaced(self):
        n = self.lines(300)
        session, stamps = self.session("unpaced", ["--interval-ms", str(UNPACED_INTERVAL_MS), "--char-ms", "0"])
        try:
            session.start()
            session.wait_visible()
            client, dde_out = self.dde_client(session)
            log("unpaced: DDE latency (load %s)" % load_average())
            start, first = now_ns(), sum(1 for _ in open(stamps))
            self.wait_lines(stamps, first + n + 2, n * UNPACED_INTERVAL_MS / 1000 + 60)
            self.results["lat_unpaced_dde"] = summary(
                *latencies(read_stamps(stamps), read_events(dde_out), start, now_ns()))
            log("unpaced: window text latency (load %s)" % load_average())
            watcher, watch_out = self.wine(session, [self.watch_tool, "text", harness.TEMPERATURE, "--poll"],
                                           "watch")
            harness.wait_until(lambda: read_events(watch_out), 60, "the watcher's first text")
            start, first = now_ns(), sum(1 for _ in open(stamps))
            self.wait_lines(stamps, first + n + 2, n * UNPACED_INTERVAL_MS / 1000 + 60)
            self.results["lat_unpaced_window"] = summary(
                *latencies(read_stamps(stamps), read_events(watch_out), start, now_ns()))
            harness.stop_process(watcher)
            harness.stop_process(client)
        finally:
            session.stop()

    def run_floor(self):
        """The least a program can do: a pending one-byte overlapped ReadFile on the same port."""
        n = self.lines(300)
        floor_tool = self.config.mingw / "bench" / "hx350-floor.exe"
        for name, args, interval in (("floor_paced", PACED, 0.5),
                                     ("floor_unpaced", ["--interval-ms", str(UNPACED_INTERVAL_MS), "--char-ms", "0"],
                                      UNPACED_INTERVAL_MS / 1000)):
            session, stamps = self.session(name, args)
            session.autostart = False
            try:
                session.start()
                reader, out = self.wine(session, [floor_tool, harness.SIM_PORT, "--count", n + 40], "floor")
                # Its stamps carry no value: each CR it sees is matched to the nearest earlier CR sent.
                harness.wait_until(lambda: sum(1 for _ in open(out)) >= 3, 60, "the floor reader's first lines")
                start, first = now_ns(), sum(1 for _ in open(stamps))
                pids = dict(zip(("program", "wineserver"), find_pids(self.config.prefix, floor_tool)))
                pids = {name: pid for name, pid in pids.items() if pid}
                cpu_before, started = {name: cpu_seconds(pid) for name, pid in pids.items()}, time.monotonic()
                self.wait_lines(stamps, first + n + 2, n * interval + 60)
                end = now_ns()
                if name == "floor_paced" and len(pids) == 2:
                    # What Wine's serial path costs a reader that does nothing else, at the same pace.
                    elapsed = time.monotonic() - started
                    self.results["cpu_floor_paced"] = {k: (cpu_seconds(pid) - cpu_before[k]) / elapsed
                                                       for k, pid in pids.items()}
                time.sleep(1)
                harness.stop_process(reader)
                sent = [ns for ns, _ in read_stamps(stamps, with_values=False) if start <= ns <= end]
                seen = sorted(int(line) for line in out.read_bytes().decode().split() if line.isdigit())
                values = []
                for ns in sent:
                    later = [t for t in seen if t >= ns - 1_000_000]
                    if later:
                        values.append((later[0] - ns) / 1e6)
                self.results["lat_" + name] = summary(values, len(sent) - len(values))
                log("%s done (load %s)" % (name, load_average()))
            finally:
                harness.stop_wineserver(session.env)  # no program was started, so the session leaves it running
                session.stop()

    def run_startup(self):
        """Launch to a visible main window, against the same for an empty window, median of a few runs."""
        runs = 2 if self.quick else 5
        session, _ = self.session("startup", PACED)
        session.autostart = False
        blank = self.config.mingw / "bench" / "hx350-blank.exe"
        try:
            session.start()
            session.win("texts", check=False)  # starts the wineserver and its services before anything is timed
            times = {"program": [], "blank": []}
            blank_memory = []
            for attempt in range(runs + 1):  # the first of each is a warm-up
                for kind, title in (("blank", "HX350 blank"), ("program", "HX350")):
                    probe, out = self.wine(session, [self.watch_tool, "appear", title],
                                           "appear")
                    time.sleep(1.5)  # the probe is polling by then
                    env = dict(session.env)
                    if kind == "program":
                        env["LD_PRELOAD"] = str(self.config.shim)
                        command = ["wine", str(session.folder / "HX350.exe")]
                    else:
                        command = ["wine", str(blank), "1500"]
                    launched = now_ns()
                    process = subprocess.Popen(command, cwd=session.folder, env=env, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL, start_new_session=True)
                    probe.wait(timeout=90)
                    text = out.read_text().split()
                    if kind == "blank" and attempt > 0:
                        # Wine's own share of a program's private memory: what an empty window holds.
                        blank_pid, _ = find_pids(self.config.prefix, blank)
                        if blank_pid:
                            blank_memory.append(private_kb(blank_pid))
                    if kind == "program":
                        session.program = process
                        session.close_program()
                    else:
                        process.wait(timeout=60)
                    if text and attempt > 0:
                        times[kind].append((int(text[0]) - launched) / 1e6)
            self.results["startup_ms"] = {k: statistics.median(v) for k, v in times.items() if v}
            self.results["startup_runs"] = times
            if blank_memory:
                self.results["private_empty_window_kb"] = statistics.median(blank_memory)
        finally:
            session.stop()


def machine():
    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")),
                 platform.processor())
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return {"cpus": os.cpu_count(), "cpu": model, "wine": wine}


def table(results, decode):
    rows = []

    def lat(label, key):
        r = results.get(key, {})
        if r.get("n"):
            rows.append("| %s | %.1f | %.1f | %.1f | %d (%d lost) |" % (label, r["median"], r["p99"], r["max"], r["n"],
                                                                       r["lost"]))
        else:
            rows.append("| %s | - | - | - | 0 |" % label)

    out = ["| Latency from CR written (ms) | median | p99 | max | lines |", "|---|---|---|---|---|"]
    lat("instrument's pace: DDE advise", "lat_paced_dde")
    lat("instrument's pace: window text", "lat_paced_window")
    lat("instrument's pace: floor (minimal reader)", "lat_floor_paced")
    lat("whole lines: DDE advise", "lat_unpaced_dde")
    lat("whole lines: window text", "lat_unpaced_window")
    lat("whole lines: floor (minimal reader)", "lat_floor_unpaced")
    out += rows + [""]
    out += ["| Other figures | |", "|---|---|"]
    for key, label in (("cpu_idle", "CPU idle, % of a core"), ("cpu_paced", "CPU at the instrument's pace, % of a core")):
        cpu = results.get(key, {})
        if cpu:
            out.append("| %s | program %.2f, wineserver %.2f |" % (label, cpu["program"] * 100, cpu["wineserver"] * 100))
    if "cpu_floor_paced" in results:
        cpu = results["cpu_floor_paced"]
        out.append("| CPU at the instrument's pace, floor (minimal reader), %% of a core | reader %.2f, wineserver %.2f |"
                   % (cpu["program"] * 100, cpu["wineserver"] * 100))
    if "cpu_ms_per_line" in results:
        per_line = results["cpu_ms_per_line"]
        out.append("| CPU per line at the instrument's pace | program %.2f ms, wineserver %.2f ms |"
                   % (per_line["program"], per_line["wineserver"]))
    if "private_after_start_kb" in results:
        out.append("| private memory after start | %.1f MB (an empty window: %s) |"
                   % (results["private_after_start_kb"] / 1024,
                      "%.1f MB" % (results["private_empty_window_kb"] / 1024) if "private_empty_window_kb" in results
                      else "not measured"))
        out.append("| private memory slope | %.0f kB per 1000 lines (over %d lines) |"
                   % (results["private_slope_kb_per_1000"], results["memory_lines"]))
        out.append("| threads slope | %.1f per 1000 lines (%d at the end) |"
                   % (results["threads_slope_per_1000"], results.get("threads_end", 0)))
    if "mqtt_on" in results:
        for values, suffix in (("steady values", ""), ("a temperature that changes at every line", "_changing")):
            off, on = results["mqtt_off" + suffix], results["mqtt_on" + suffix]
            out.append("| CPU at the instrument's pace, %s, MQTT off / on, %% of a core | program %.2f / %.2f, "
                       "wineserver %.2f / %.2f |" % (values, off["program"] * 100, on["program"] * 100,
                                                     off["wineserver"] * 100, on["wineserver"] * 100))
            out.append("| private memory and threads, %s, MQTT off / on | %.1f / %.1f MB, %d / %d |"
                       % (values, off["private_kb"] / 1024, on["private_kb"] / 1024, off["threads"], on["threads"]))
    if "startup_ms" in results:
        s = results["startup_ms"]
        out.append("| start-up to the main window | %.0f ms, empty window %.0f ms: program's share %.0f ms |"
                   % (s["program"], s["blank"], s["program"] - s["blank"]))
    if decode:
        out.append("| decoder, native, one core | %s lines/s (%s ns a line) |" % (decode["lines_per_second"],
                                                                               decode["ns_per_line"]))
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    harness.Config.add_arguments(parser)
    parser.add_argument("--decode-bench", help="decode-bench (native, without sanitizers)")
    parser.add_argument("--quick", action="store_true", help="a short run of every part, to try the script")
    parser.add_argument("--only", default="startup,program,unpaced,floor,mqtt,decode")
    args = parser.parse_args()
    config = harness.Config.from_arguments(args)
    harness.make_prefix(config)
    bench = Bench(config, args.quick)
    started = time.monotonic()
    loads = [load_average()]
    parts = args.only.split(",")
    decode = None
    if "decode" in parts and args.decode_bench:
        text = subprocess.run([args.decode_bench], capture_output=True, text=True, check=True).stdout
        decode = dict(item.split("=") for item in text.split())
    for part in ("startup", "program", "unpaced", "floor", "mqtt"):
        if part in parts:
            log("%s (load %s)" % (part, load_average()))
            getattr(bench, "run_" + part)()
            loads.append(load_average())
    results = bench.results
    results["machine"] = machine()
    results["load_averages"] = loads
    results["minutes"] = (time.monotonic() - started) / 60
    results["stamps_after_a_preempted_write"] = preempted
    (config.work / "results.json").write_text(json.dumps(results, indent=1))
    print(table(results, decode))
    m = results["machine"]
    print("\nMachine: %d CPUs, %s, %s; load average (1 min) during the run: %s; %.1f minutes; details in %s"
          % (m["cpus"], m["cpu"], m["wine"], " ".join(loads), results["minutes"], config.work / "results.json"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
