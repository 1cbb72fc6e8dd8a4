"""What the recording files must hold, built independently of the program: text record lines and binary records
(negated bytes with two check bytes), and parsers that split the files back into records."""

import datetime
import re

HEADER = {
    (1, 1): "Data i Godzina{s}Temperatura °C{s}Wilgotność %",
    (1, 0): "Data i Godzina{s}Temperatura °C",
    (0, 1): "Data i Godzina{s}Wilgotność %",
}
SEPARATORS = {0: "\t", 1: ",", 2: ";"}
TEXT_LINE = re.compile(rb"^(\d{4})\.(\d\d)\.(\d\d) (\d\d):(\d\d):(\d\d)[\t,;](.*)$")


def header_line(separator=0, temperature=1, humidity=1):
    text = HEADER[(temperature, humidity)].format(s=SEPARATORS[separator])
    return text.encode("cp1250") + b"\r\n"


def binary_record(stamp, temperature=None, humidity=None, serial=4660):
    """stamp: (year, month, day, hour, minute, second); values None when not valid."""
    plain = "%04d%02d%02d%02d%02d%02d$" % stamp
    if temperature is not None:
        plain += "21,%d,25,%.1f,1$" % (serial, temperature)
    if humidity is not None:
        plain += "21,%d,26,%.1f,1$" % (serial, humidity)
    data = plain.encode("ascii")
    total = sum(data)
    data += bytes([64, total % 253 + 1, total % 251 + 1])
    return bytes((256 - b) % 256 for b in data)


def text_records(data):
    """The record lines of a text file: [(stamp tuple, values text)], skipping header and other lines."""
    result = []
    for line in data.split(b"\r\n"):
        match = TEXT_LINE.match(line)
        if match:
            result.append((tuple(int(g) for g in match.groups()[:6]), match.group(7).decode("cp1250")))
    return result


def split_binary(data):
    """Records of a binary file as the grapher finds them: each ends two bytes after the first stored "@"."""
    records, start = [], 0
    while start < len(data):
        marker = data.find(b"\xc0", start)
        if marker < 0 or marker + 3 > len(data):
            records.append(data[start:])
            break
        records.append(data[start:marker + 3])
        start = marker + 3
    return records


def binary_stamp(record):
    """The time stamp of a stored binary record: (year, month, day, hour, minute, second)."""
    digits = bytes((256 - b) % 256 for b in record[:14]).decode("ascii")
    return tuple(int(digits[i:j]) for i, j in ((0, 4), (4, 6), (6, 8), (8, 10), (10, 12), (12, 14)))


def consecutive_seconds(stamps):
    """True when every stamp is exactly one second after the one before (within one day)."""
    times = [datetime.datetime(*s) for s in stamps]
    return all((b - a).total_seconds() == 1 for a, b in zip(times, times[1:]))
