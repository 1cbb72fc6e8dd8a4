"""Program → Uruchom Plot in HX350.exe starts Plot.exe from the program's own folder."""

import subprocess
import sys

from harness import Scenario, settings_file, wait_until

CMD_PLOT = 32795


def plot_windows(s):
    found = subprocess.run(["xdotool", "search", "--name", "^Plot"], env=s.env, capture_output=True, text=True)
    return found.stdout.split()


def body(s, t):
    s.folder.joinpath("Plot.exe").write_bytes(s.config.mingw.joinpath("Plot.exe").read_bytes())
    s.wait_visible()
    t.equal(s.menu_state(CMD_PLOT).get("enabled"), "1", "Uruchom Plot enabled")
    s.command(CMD_PLOT)
    wait_until(lambda: plot_windows(s), 30, "the Plot window")
    t.passed("Plot.exe opened")
    s.screenshot("opened")
    subprocess.run(["xdotool", "search", "--name", "^Plot", "windowclose"], env=s.env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    sys.exit(Scenario("plot_launch", ini=settings_file(PORT_NR=7), deadline=110).run(body))
