#!/bin/bash
# Builds the Windows program and Win32 tools (build/mingw), the fuzzing harnesses (build/fuzz, clang) and the
# native core, tools and tests (build/native).
#   --run: only what tools/run.sh starts: the program, Plot, the window driver that reads the values, the
#          simulator and the pty library; a newcomer's first start waits for nothing else.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"
only_run=0
for arg in "$@"; do
    case "$arg" in
    --run) only_run=1 ;;
    *) echo "usage: build.sh [--run]" >&2; exit 2 ;;
    esac
done
cmake -S "$root" -B "$root/build/mingw" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
if ((only_run)); then
    cmake --build "$root/build/mingw" -j "$jobs" --target HX350 Plot hx350-win
    cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$root/build/native" -j "$jobs" --target hx350-sim hx350ptyshim
    exit 0
fi
cmake --build "$root/build/mingw" -j "$jobs"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHX350_FUZZ=ON >/dev/null
cmake --build "$root/build/fuzz" -j "$jobs"
cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug \
      -DHX350_WIN_BUILD_DIR="$root/build/mingw" -DHX350_FUZZ_BUILD_DIR="$root/build/fuzz" >/dev/null
cmake --build "$root/build/native" -j "$jobs"
