#!/bin/bash
# What continuing a year of one-second binary records (1.7 GB) costs the window's thread, under Wine, with the
# program's own file access and recording control (bench/win/continue_bench.cpp), against reading the whole file as
# the repair did before. On demand, not part of the tests: installs and builds what it needs, generates the file
# once (build/bench/data/continue.hxg, about a minute), makes a Wine prefix once (build/bench/prefix) and prints the
# figures. The file is read once first, so that it is in the page cache for every run.
#   bash bench/bench_continue.sh [--no-build] [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=1
runs=9
while (($#)); do
    case "$1" in
    --no-build) build=0; shift ;;
    [0-9]*) runs="$1"; shift ;;
    *) echo "usage: bash bench/bench_continue.sh [--no-build] [RUNS]" >&2; exit 2 ;;
    esac
done
if ((build)); then
    bash "$root/tools/setup.sh"
    cmake -S "$root" -B "$root/build/mingw" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$root/build/mingw" -j 2 --target hx350-continue
    cmake -S "$root" -B "$root/build/bench-native" -DCMAKE_BUILD_TYPE=Release -DHX350_SANITIZE=OFF >/dev/null
    cmake --build "$root/build/bench-native" -j 2 --target plot-bench
fi
file="$root/build/bench/data/continue.hxg"
mkdir -p "$(dirname "$file")"
if [ ! -f "$file" ]; then
    echo "generating $file (a year of one-second records)" >&2
    "$root/build/bench-native/bench/plot-bench" gen "$file.part" 31536000
    # On disk before the first run: its first flush would otherwise write the generator's 1.7 GB.
    sync "$file.part"
    mv "$file.part" "$file"
fi
cat "$file" > /dev/null
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), load $(cut -d' ' -f1-3 /proc/loadavg)"
# Without address randomization, as the tests run Wine (see tools/run.sh).
exec setarch "$(uname -m)" -R python3 "$root/bench/bench_continue.py" --mingw "$root/build/mingw" \
    --work "$root/build/bench" --file "$file" --runs "$runs"
