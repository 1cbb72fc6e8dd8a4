#!/bin/bash
# One run of a libFuzzer harness: run.sh FUZZ_BUILD_DIR HARNESS SECONDS WORK_DIR [-- extra libFuzzer flags]
# The corpus starts from the repository's seeds for the harness and the tests' golden files; new inputs go to
# WORK_DIR, never into the repository. Prints libFuzzer's closing figures; fails on any finding.
set -euo pipefail
build="$1" harness="$2" seconds="$3" work="$4"
shift 4
[ "${1:-}" = "--" ] && shift
here="$(cd "$(dirname "$0")" && pwd)"
data="$here/../data"
case "$harness" in
line_assembly) seeds=("$data/decode") ;;
hxg_reader) seeds=("$data/decode") ;;
settings_store) seeds=("$data/settings") ;;
texts) seeds=() ;;
mqtt_packet) seeds=() ;;
smtp_reply) seeds=() ;;
*) echo "run.sh: unknown harness $harness" >&2; exit 2 ;;
esac
corpus="$work/corpus_$harness"
mkdir -p "$corpus" "$work/findings_$harness"
[ -d "$here/corpus/$harness" ] && seeds+=("$here/corpus/$harness")
cd "$work/findings_$harness"
"$build/tests/fuzz/fuzz_$harness" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/findings_$harness/" \
    "$@" "$corpus" "${seeds[@]}" 2>"$work/fuzz_$harness.log" || { tail -n 40 "$work/fuzz_$harness.log"; exit 1; }
grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+.*DONE)" "$work/fuzz_$harness.log" || true
grep -E "cov: [0-9]+" "$work/fuzz_$harness.log" | tail -n 1
