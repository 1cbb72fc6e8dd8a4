#!/bin/bash
# The whole test run from nothing: install, build both targets, run every test (unit and end-to-end).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/setup.sh"
bash "$root/tools/build.sh"
cd "$root/build/native"
ctest --output-on-failure -j 2 --timeout 600
