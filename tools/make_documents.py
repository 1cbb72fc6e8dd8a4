#!/usr/bin/env python3
"""Turns the program's documents from plain text into RTF resources (standard library only).

    python3 tools/make_documents.py

res/help.txt -> res/help.rtf   the help window's document
res/info.txt -> res/info.rtf   the software information window's document

The source is UTF-8 text: "# " starts a heading, "- " a bulleted paragraph, any other line is a paragraph. Every
character beyond ASCII is written as an RTF Unicode escape, so the document reads the same on any code page. A
heading is a paragraph of its own holding nothing but its title: the help window finds sections that way.
"""

import os
import sys

HEADER = (r"{\rtf1\ansi\ansicpg1250\deff0{\fonttbl{\f0\fswiss\fcharset238 Tahoma;}}"
          r"{\colortbl;\red0\green64\blue128;\red40\green40\blue40;}" "\n"
          r"\viewkind4\uc1\pard\sa80\cf2\f0\fs18" "\n")


def escape(text):
    out = []
    for ch in text:
        code = ord(ch)
        if ch in "\\{}":
            out.append("\\" + ch)
        elif code < 128:
            out.append(ch)
        else:
            signed = code if code < 32768 else code - 65536
            out.append("\\u%d?" % signed)
    return "".join(out)


def convert(source):
    body = []
    for line in source.splitlines():
        if not line.strip():
            continue
        if line.startswith("# "):
            body.append(r"\pard\sb200\sa100\keepn\cf1\b\fs24 %s\b0\fs18\cf2\par" % escape(line[2:].strip()))
        elif line.startswith("- "):
            body.append(r"\pard\fi-200\li300\sa60 \u8226? %s\par" % escape(line[2:].strip()))
        else:
            body.append(r"\pard\sa80 %s\par" % escape(line.strip()))
    return HEADER + "\n".join(body) + "\n}\n"


def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    for name in ("help", "info"):
        with open(os.path.join(res, name + ".txt"), encoding="utf-8") as f:
            rtf = convert(f.read())
        with open(os.path.join(res, name + ".rtf"), "w", encoding="ascii", newline="\r\n") as f:
            f.write(rtf)
    return 0


if __name__ == "__main__":
    sys.exit(main())
