"""Checks of the source tree that need no build: formatting and the direction of includes.

    python3 tools/check_sources.py format    every C and C++ file is as clang-format (with the repository's
                                              .clang-format) writes it
    python3 tools/check_sources.py layers    includes point down, and the core stays free of Windows

The layers, from the bottom: res and base (ids, civil time, Windows-1250 text, DPI arithmetic, number texts, the
settings store), win (small Win32 helpers), protocol, serial, display, recording and dde, alarm, net (what the
network features share), mqtt, mail, ui, app and plot (the two programs), then tools, bench and tests. A file
includes from its own top folder or from a lower layer only.

A file is Win32 code when one of the folders in its path is named "win"; every other C or C++ file is core code,
which includes neither a Windows header nor a Win32 file. Resource scripts (.rc) are not code and are not checked.
Exit code 0 when the tree passes, 1 with one line per finding otherwise."""

import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
LAYERS = [("res", "base"), ("win",), ("protocol",), ("serial",), ("display",), ("recording", "dde"), ("alarm",),
          ("net",), ("mqtt",), ("mail",), ("ui",), ("app", "plot"), ("tools",), ("bench",), ("tests",)]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
# Headers of the Windows SDK that a core file must not reach for (lower case, as MinGW spells them).
WINDOWS_HEADERS = {
    "windows.h", "windowsx.h", "winbase.h", "winuser.h", "wingdi.h", "winreg.h", "winnt.h", "commctrl.h",
    "commdlg.h", "ddeml.h", "dde.h", "shellapi.h", "shlobj.h", "shlwapi.h", "richedit.h", "gdiplus.h",
    "setupapi.h", "objbase.h", "ole2.h", "oleauto.h", "mmsystem.h", "uxtheme.h", "dwmapi.h", "winsock2.h",
    "process.h", "tchar.h", "devguid.h", "shellscalingapi.h", "timezoneapi.h",
}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def sources():
    """Tracked C and C++ files (every file outside build/ when this is not a git checkout)."""
    try:
        listed = subprocess.run(["git", "ls-files", "*.c", "*.cpp", "*.h"], cwd=ROOT, capture_output=True,
                                text=True, check=True).stdout.split()
        return [Path(p) for p in listed]
    except (OSError, subprocess.CalledProcessError):
        return sorted(p.relative_to(ROOT) for p in ROOT.rglob("*") if p.suffix in (".c", ".cpp", ".h")
                      and p.relative_to(ROOT).parts[0] != "build")


def is_win32(path):
    return "win" in Path(path).parts[:-1]


def check_format(files):
    findings = []
    for start in range(0, len(files), 50):
        chunk = [str(ROOT / f) for f in files[start:start + 50]]
        result = subprocess.run(["clang-format", "--dry-run", "--Werror", "--style=file"] + chunk,
                                capture_output=True, text=True)
        if result.returncode:
            reported = sorted({line.split(":")[0] for line in result.stderr.splitlines() if ": error:" in line})
            findings += ["%s: not formatted (run clang-format -i on it)" % Path(p).relative_to(ROOT)
                         for p in reported] or [result.stderr.strip()]
    return findings


def check_layers(files):
    findings = []
    for path in files:
        top = path.parts[0] if len(path.parts) > 1 else ""
        for number, line in enumerate((ROOT / path).read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, target = match.groups()
            where = "%s:%d" % (path, number)
            if kind == "<":
                if not is_win32(path) and target.lower() in WINDOWS_HEADERS:
                    findings.append("%s: core file includes <%s> (Win32 code lives in a win/ folder)" % (where, target))
                continue
            parts = Path(target).parts
            if len(parts) < 2:
                continue  # a file beside this one (resource scripts' own headers)
            if not is_win32(path) and is_win32(target):
                findings.append("%s: core file includes the Win32 file %s" % (where, target))
            folder = parts[0]
            if folder == top:
                continue
            if top not in RANK or folder not in RANK:
                findings.append("%s: %s is in no layer (see tools/check_sources.py)" % (where, target))
            elif RANK[folder] >= RANK[top]:
                findings.append("%s: %s/ includes %s from %s/, which is not below it" % (where, top, target, folder))
    return findings


def main(argv):
    if len(argv) != 2 or argv[1] not in ("format", "layers"):
        print(__doc__)
        return 2
    files = sources()
    findings = check_format(files) if argv[1] == "format" else check_layers(files)
    for finding in findings:
        print(finding)
    print("%s: %d files, %d findings" % (argv[1], len(files), len(findings)))
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
