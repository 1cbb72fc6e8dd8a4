#!/bin/bash
# Builds the Windows program and Win32 tools (build/mingw) and the native core, tools and tests (build/native).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"
cmake -S "$root" -B "$root/build/mingw" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/mingw" -j "$jobs"
cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug \
      -DHX350_WIN_BUILD_DIR="$root/build/mingw" >/dev/null
cmake --build "$root/build/native" -j "$jobs"
