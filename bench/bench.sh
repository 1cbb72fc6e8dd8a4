#!/bin/bash
# Benchmark of the live path under Wine, on demand (not part of the tests): builds the Windows program and tools
# (build/mingw) and the simulator, pty library and decoder benchmark without sanitizers (build/bench-native), then
# measures latency, CPU, memory, start-up and decoder throughput (bench/bench.py) in its own Wine prefix under
# build/bench, and prints a table. About ten minutes; the figures depend on the machine's load, which it prints.
#
#   bash bench/bench.sh [--no-build] [--quick] [--only startup,program,unpaced,floor,mqtt,decode]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=1
args=()
while (($#)); do
    case "$1" in
    --no-build) build=0; shift ;;
    --quick) args+=(--quick); shift ;;
    --only) args+=(--only "${2:?--only needs a list}"); shift 2 ;;
    *) echo "usage: bash bench/bench.sh [--no-build] [--quick] [--only PARTS]" >&2; exit 2 ;;
    esac
done
# Two jobs at most: the machines this runs on are shared, and a busy build would inflate the figures that follow.
jobs=2
if ((build)); then
    bash "$root/tools/setup.sh"
    cmake -S "$root" -B "$root/build/mingw" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$root/build/mingw" -j "$jobs" --target HX350 hx350-win hx350-dde hx350-floor hx350-blank hx350-watch
    cmake -S "$root" -B "$root/build/bench-native" -DCMAKE_BUILD_TYPE=Release -DHX350_SANITIZE=OFF >/dev/null
    cmake --build "$root/build/bench-native" -j "$jobs" --target hx350-sim hx350ptyshim decode-bench
fi
native="$root/build/bench-native"
# Without address randomization, as the tests run Wine (see tools/run.sh).
exec setarch "$(uname -m)" -R python3 "$root/bench/bench.py" --mingw "$root/build/mingw" \
    --sim "$native/tools/hx350-sim" --shim "$native/tests/libhx350ptyshim.so" --work "$root/build/bench" \
    --decode-bench "$native/bench/decode-bench" "${args[@]}"
