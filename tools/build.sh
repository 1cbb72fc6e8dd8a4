#!/bin/bash
# Builds the Windows program and Win32 tools (build/mingw), the fuzzing harnesses (build/fuzz, clang) and the
# native core, tools and tests (build/native).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"
cmake -S "$root" -B "$root/build/mingw" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/mingw" -j "$jobs"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHX350_FUZZ=ON >/dev/null
cmake --build "$root/build/fuzz" -j "$jobs"
cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug \
      -DHX350_WIN_BUILD_DIR="$root/build/mingw" -DHX350_FUZZ_BUILD_DIR="$root/build/fuzz" >/dev/null
cmake --build "$root/build/native" -j "$jobs"
