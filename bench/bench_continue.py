"""Runs hx350-continue.exe under Wine on a large binary recording and prints its figures (through
bench/bench_continue.sh, on demand, never in CI). The Wine prefix is the benchmarks' shared one, made once."""

import argparse
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
import harness  # noqa: E402

GOAL_MS = 20


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--mingw", required=True, help="MinGW build folder (bench/hx350-continue.exe)")
    parser.add_argument("--work", required=True, help="folder of the Wine prefix")
    parser.add_argument("--file", required=True, help="the binary recording to continue")
    parser.add_argument("--runs", type=int, default=9)
    args = parser.parse_args()
    # The prefix needs neither the simulator nor the pty library.
    config = harness.Config(args.mingw, sim="", shim="", work=args.work)
    harness.make_prefix(config)
    xvfb = harness.Xvfb()
    env = harness.wine_environment(config.prefix, xvfb.display)
    output = Path(args.work) / "continue.out"
    try:
        # Into a file: a Wine process that starts the wineserver keeps a pipe on its output open for ever.
        with open(output, "w") as out:
            result = subprocess.run(
                ["wine", str(Path(args.mingw) / "bench" / "hx350-continue.exe"),
                 harness.windows_path(Path(args.file).resolve()), str(args.runs), "--full-scan"],
                env=env, stdout=out, stderr=subprocess.STDOUT, timeout=900)
    finally:
        harness.stop_wineserver(env)
        xvfb.stop()
    text = output.read_text().replace("\r", "")
    print(text, end="")
    worst = [float(line.split("max=")[1].split()[0]) for line in text.splitlines() if line.startswith("delayed_start")]
    if result.returncode == 0 and worst:
        print("goal, continuing under %d ms: %s (worst %.2f ms)" % (GOAL_MS, "met" if max(worst) < GOAL_MS else
                                                                      "missed", max(worst)))
    return result.returncode


if __name__ == "__main__":
    sys.exit(main())
