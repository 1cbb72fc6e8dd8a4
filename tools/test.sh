#!/bin/bash
# The whole test run from nothing: install, build both targets, run every test (unit and end-to-end), two at a
# time; the Wine scenarios take one of two slots each (tests/e2e/resources.json).
# --long: the long scenarios at their full length (HX350_LONG=1), as before a release.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
for arg in "$@"; do
    case "$arg" in
    --long) export HX350_LONG=1 ;;
    *) echo "usage: test.sh [--long]" >&2; exit 2 ;;
    esac
done
bash "$root/tools/setup.sh"
bash "$root/tools/build.sh"
cd "$root/build/native"
ctest --output-on-failure -j 2 --timeout 600 --resource-spec-file "$root/tests/e2e/resources.json"
