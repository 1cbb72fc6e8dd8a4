#!/bin/bash
# Runs HX350.exe under Wine on this Linux machine, fed by the instrument simulator (or by a real instrument with
# --device). Installs what it needs, builds, prepares a Wine prefix under build/run and starts the program in
# build/run/program, where its settings file hx350cfg.ini stays between runs.
#
# With $DISPLAY set the window opens there. Without one the program runs on a private Xvfb display and this script
# prints, every few seconds, the status line and both displayed values read from the window, with the path of a
# fresh screenshot. Ctrl-C (or closing the window) ends it: the program is closed properly, so that it saves its
# settings, and the wineserver, the simulator and Xvfb are stopped.
set -euo pipefail
# Debian's Wine has no preloader: with address randomization about one Wine start in 500 finds its heap where Wine
# maps its shared user data, and ends at once. This script and all it starts run without it.
((0x$(cat /proc/self/personality) & 0x40000)) || exec setarch "$(uname -m)" -R bash "$0" "$@"

root="$(cd "$(dirname "$0")/.." && pwd)"
port=1
device=""
build=1
every=3

usage() {
    cat <<EOF
usage: bash tools/run.sh [--device /dev/ttyUSB0] [--port N] [--every SECONDS] [--no-build]
  --device PATH   read a real instrument on PATH instead of the simulator
  --port N        the COM port number the program uses (default 1)
  --every S       seconds between two status lines (default 3)
  --no-build      skip installing and building
EOF
}

while (($#)); do
    case "$1" in
    --device) device="${2:?--device needs a path}"; shift 2 ;;
    --port) port="${2:?--port needs a number}"; shift 2 ;;
    --every) every="${2:?--every needs seconds}"; shift 2 ;;
    --no-build) build=0; shift ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done
[[ "$port" =~ ^[1-9][0-9]?$ ]] || { echo "run.sh: --port must be 1..99" >&2; exit 2; }
if [ -n "$device" ] && [ ! -e "$device" ]; then
    echo "run.sh: $device does not exist" >&2
    exit 1
fi

if ((build)); then
    bash "$root/tools/setup.sh"
    bash "$root/tools/build.sh" --run
fi

run="$root/build/run"
prefix="$run/prefix"
program="$run/program"
exe="$root/build/mingw/HX350.exe"
win_tool="$root/build/mingw/tests/win/hx350-win.exe"
sim="$root/build/native/tools/hx350-sim"
shim="$root/build/native/tests/libhx350ptyshim.so"
for f in "$exe" "$win_tool"; do
    [ -f "$f" ] || { echo "run.sh: $f is missing (build first)" >&2; exit 1; }
done
if [ -z "$device" ]; then
    for f in "$sim" "$shim"; do
        [ -f "$f" ] || { echo "run.sh: $f is missing (build first)" >&2; exit 1; }
    done
fi
mkdir -p "$run" "$program"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
unset LD_PRELOAD

xvfb_pid=""
sim_pid=""
program_pid=""
work="$(mktemp -d)"
cleaned=0

# hx350-win's output goes to a file, never to a pipe: a Wine process that happens to start the wineserver passes
# its stdout on to it, and a pipe would then never end.
win() {
    wine "$win_tool" "$@" >"$work/win.out" 2>/dev/null </dev/null
}

win_lines() {
    tr -d '\r' <"$work/win.out"
}

dismiss_dialogs() {
    local i title
    for i in 1 2 3 4 5; do
        win dialog --timeout 0 || return 0
        title="$(win_lines | sed -n 's/^title=//p' | head -n1)"
        if win_lines | grep -q '^text='; then
            win message-box --timeout 0 --press 1 || true
        elif [ -n "$title" ]; then
            win dialog-press "$title" 2 || true
        fi
        sleep 0.5
    done
}

cleanup() {
    ((cleaned)) && return 0
    cleaned=1
    trap '' INT TERM # closing takes a few seconds; let it finish
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        echo "Closing HX350.exe..."
        dismiss_dialogs
        win close || true
        for _ in $(seq 1 100); do
            kill -0 "$program_pid" 2>/dev/null || break
            sleep 0.2
        done
        kill -0 "$program_pid" 2>/dev/null && echo "HX350.exe did not close; stopping Wine." >&2
    fi
    if [ -d "$prefix" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null || true
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
    if [ -f "$program/hx350cfg.ini" ]; then
        echo "Settings: $program/hx350cfg.ini"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Children run in sessions of their own, so that Ctrl-C reaches only this script, which then closes the program
# properly instead of letting the terminal kill it before it has saved its settings.
headless=0
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    for n in $(seq 80 140); do
        if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then
            continue
        fi
        # -noreset: a server that resets when its last client goes turns away whoever connects meanwhile.
        setsid Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 1 100); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.05
        done
        if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$n"
            break
        fi
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    done
    [ -n "$xvfb_pid" ] || { echo "run.sh: no free X display" >&2; exit 1; }
fi

if [ ! -f "$prefix/system.reg" ]; then
    echo "Creating the Wine prefix $prefix (once)..."
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w
fi

# COMn leads to the instrument: the simulator's pty through a stable symlink, or the given device.
link="$run/com$port"
target="${device:-$link}"
stamp="$prefix/.hx350-run-port"
if [ "$(cat "$stamp" 2>/dev/null || true)" != "COM$port=$target" ]; then
    wine reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$target" /f >/dev/null 2>&1 </dev/null
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w
    echo "COM$port=$target" >"$stamp"
fi

if [ -z "$device" ]; then
    setsid "$sim" --link "$link" --drift --control "$run/sim.ctl" >"$work/sim.out" 2>"$run/sim.log" </dev/null &
    sim_pid=$!
    for _ in $(seq 1 100); do
        [ -L "$link" ] && [ -s "$work/sim.out" ] && break
        sleep 0.05
    done
    [ -L "$link" ] || { echo "run.sh: the simulator did not start (see $run/sim.log)" >&2; exit 1; }
    source_text="the simulator on COM$port ($(cat "$work/sim.out"), commands: echo 'temp 25.0' > $run/sim.ctl)"
else
    source_text="$device on COM$port"
fi

cp -f "$exe" "$program/HX350.exe"
# A first run also records, every 5 s, into build/run/pomiary.csv and pomiary.hxg (names relative to the
# program's folder), so that a newcomer sees the files grow; the software information window stays closed at
# start, so that the first screenshot shows the readings.
if [ ! -f "$program/hx350cfg.ini" ]; then
    printf '[GENERAL]\r\nPORT_NR=%d\r\nSHOW_ADV=0\r\n[LOG]\r\nFILE_NAME=..\\pomiary.csv\r\nFILE_NAME_BIN=..\\pomiary.hxg\r\n' \
        "$port" >"$program/hx350cfg.ini"
    printf 'FILE_LOG=1\r\nFILE_LOG_BIN=1\r\nFILE_SEP_FORMAT=2\r\nFILE_INTERVAL=5\r\n' >>"$program/hx350cfg.ini"
fi
configured="$(tr -d '\r' <"$program/hx350cfg.ini" | sed -n 's/^[Pp][Oo][Rr][Tt]_[Nn][Rr]=//p' | tail -n1)"
if [ "$configured" != "$port" ]; then
    echo "Note: $program/hx350cfg.ini names port ${configured:-none}; choose COM$port in" \
        "Ustawienia -> Port szeregowy (or delete the file) to read the instrument."
fi

(
    cd "$program"
    if [ -z "$device" ]; then
        export LD_PRELOAD="$shim" # lets Wine use the simulator's pty as a serial port
    fi
    exec setsid wine HX350.exe >"$run/wine.log" 2>&1 </dev/null
) &
program_pid=$!

echo "HX350.exe runs under Wine on display $DISPLAY, reading $source_text."
if ! win wait --timeout 60; then
    echo "run.sh: the window did not appear (see $run/wine.log)" >&2
    exit 1
fi
if ((headless)); then
    echo "Every ${every} s: the status line and the displayed values, read from the window. Ctrl-C stops."
else
    echo "The window is open on $DISPLAY. Ctrl-C here (or closing the window) stops."
fi

shot="$run/screen.png"
while kill -0 "$program_pid" 2>/dev/null; do
    line="$(date +%H:%M:%S)"
    if win texts; then
        status="$(win_lines | sed -n 's/^status=//p')"
        temperature="$(win_lines | sed -n 's/^temperature=//p')"
        humidity="$(win_lines | sed -n 's/^humidity=//p')"
        visible="$(win_lines | sed -n 's/^humidity_visible=//p')"
        line+="  ${status% }  |  temperatura: $temperature"
        [ "$visible" = 1 ] && line+="  |  wilgotność: $humidity"
    fi
    if [ -f "$run/pomiary.csv" ]; then
        line+="  |  pomiary.csv: $(grep -c $'\r$' "$run/pomiary.csv") lines"
    fi
    if win dialog --timeout 0; then
        line+="  |  open: $(win_lines | sed -n 's/^title=//p' | head -n1) $(win_lines | sed -n 's/^text=//p')"
    fi
    if ((headless)); then
        import -window root "$shot.tmp.png" >/dev/null 2>&1 </dev/null && mv -f "$shot.tmp.png" "$shot"
        line+="  |  screenshot: $shot"
    fi
    echo "$line"
    for _ in $(seq 1 $((every * 5))); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
done
echo "HX350.exe has ended."
