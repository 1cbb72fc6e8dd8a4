"""Live readings from the simulator on COM7, configured in a complete settings file.

One program run goes through good kind-0 lines, error bits, kind-1 lines, a damaged line and silence, and is
closed again. Nothing the user can set changes on the way, so the settings file (with a comment and a blank line,
which a rewrite would alter) must be left byte-for-byte untouched."""

import os
import sys
import time

from harness import HUMIDITY, NO_LINK, OK_4660, TEMPERATURE, Scenario, settings_file


# A comment and a blank line, which a rewrite would not keep.
SETTINGS = b"; HX350 settings kept by the live test\r\n" + settings_file(PORT_NR=7).replace(b"[RH]", b"\r\n[RH]")


def body(s, t):
    stat_before = os.stat(s.ini_path)

    t.step("good kind-0 lines: status, values, no blinking")
    s.wait_visible()
    texts = s.wait_texts(timeout=20, status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.equal(texts.get("humidity_visible"), "1", "humidity display shown")
    t.check(s.no_dialog(), "no port dialog: the configured port opened")
    t.check(s.wait_blinking(TEMPERATURE, False), "temperature display steady")
    t.check(s.wait_blinking(HUMIDITY, False), "humidity display steady")
    two_displays = (s.rect(TEMPERATURE), s.rect(HUMIDITY))
    t.expect(two_displays[0][3] < two_displays[1][1], "temperature display above humidity display", two_displays)
    s.screenshot("live")

    t.step("new values and serial number")
    s.sim.send("temp -5.2")
    s.sim.send("rh 0.5")
    s.sim.send("serial 65535")
    s.wait_texts(status="HX-350 nr 65535. Pomiar prawidłowy. ", temperature="-5.2 °C", humidity="0.5 %")
    t.passed("values -5.2 °C, 0.5 %, serial 65535")
    s.sim.send("temp 23.4")
    s.sim.send("rh 45.6")
    s.sim.send("serial 4660")
    s.wait_texts(status=OK_4660, temperature="23.4 °C", humidity="45.6 %")

    t.step("temperature and calibration errors: both displays blink")
    s.sim.send("errors 6")
    s.wait_texts(status="HX-350 nr 4660. Błąd wartości temperatury. Błąd kalibracji. ",
                 temperature="23.4 °C", humidity="45.6 %")
    t.passed("status names both errors")
    t.check(s.wait_blinking(TEMPERATURE, True), "temperature display blinks")
    t.check(s.wait_blinking(HUMIDITY, True), "humidity display blinks (calibration error)")
    s.screenshot("errors")

    t.step("humidity error: only the humidity display blinks")
    s.sim.send("errors 1")
    s.wait_texts(status="HX-350 nr 4660. Błąd wartości wilgotności względnej. ")
    t.passed("status names the humidity error")
    t.check(s.wait_blinking(TEMPERATURE, False), "temperature display steady")
    t.check(s.wait_blinking(HUMIDITY, True), "humidity display blinks")
    s.sim.send("errors 0")
    s.wait_texts(status=OK_4660)
    t.check(s.wait_blinking(HUMIDITY, False), "humidity display steady again")

    t.step("kind-1 lines: temperature alone, two decimals")
    s.sim.send("temp 21.57")
    s.sim.send("two-decimals 1")
    s.sim.send("kind 1")
    texts = s.wait_texts(status="HX-350 nr 4660. ", temperature="21.57 °C")
    t.equal(texts.get("humidity_visible"), "0", "humidity display hidden")
    t.equal(s.visible(HUMIDITY), False, "humidity control invisible")
    whole = s.rect(TEMPERATURE)
    t.equal((whole[0], whole[1], whole[2]), two_displays[0][:3], "temperature display keeps its left, top, right")
    t.equal(whole[3], two_displays[1][3], "temperature display reaches the bottom of the humidity area")
    t.check(s.wait_blinking(TEMPERATURE, False), "temperature display steady")
    s.screenshot("kind1")
    s.sim.send("two-decimals 0")
    s.wait_texts(status=OK_4660, temperature="21.6 °C")
    t.passed("one decimal, rounded: 21.6 °C")
    s.sim.send("errors 2")
    s.wait_texts(status="HX-350 nr 4660. Błąd wartości temperatury. ")
    t.check(s.wait_blinking(TEMPERATURE, True), "kind-1 temperature error blinks")
    s.sim.send("errors 0")

    t.step("back to kind 0: two displays again")
    s.sim.send("temp 23.4")
    s.sim.send("kind 0")
    texts = s.wait_texts(status=OK_4660, temperature="23.4 °C", humidity="45.6 %")
    t.equal(texts.get("humidity_visible"), "1", "humidity display shown")
    t.equal((s.rect(TEMPERATURE), s.rect(HUMIDITY)), two_displays, "two-display layout restored")

    t.step("a damaged line marks the link lost at once")
    t.check(s.wait_blinking(TEMPERATURE, False), "temperature display steady")
    s.sim.send("silence")
    s.sim.send("bad")
    sent = time.monotonic()
    s.wait_texts(status=NO_LINK, temperature="???", humidity="???")
    # The last good line ended at most one line interval (1 s) before, so the watchdog cannot fire within 4 s.
    t.expect(time.monotonic() - sent < 3.9, "lost before the watchdog could fire", time.monotonic() - sent)
    s.sim.send("resume")
    s.wait_texts(status=OK_4660, temperature="23.4 °C", humidity="45.6 %")

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
    stat_after = os.stat(s.ini_path)
    t.equal(stat_after.st_mtime_ns, stat_before.st_mtime_ns, "hx350cfg.ini modification time")


if __name__ == "__main__":
    sys.exit(Scenario("live", ini=SETTINGS).run(body))
