#!/bin/bash
# hx350-sim --ramp --stamps: three lines whose temperatures rise by 0.1 from --temp, decoded by hx350-decode, and
# one stamp line per carriage return carrying the same values in tenths, the stamp after the write not before the
# one taken ahead of it.
#   sim_stamps.sh HX350_SIM HX350_DECODE WORK_DIR
set -euo pipefail
sim="$1" decode="$2" work="$3"
mkdir -p "$work"
"$sim" --device - --char-ms 0 --interval-ms 1 --count 3 --ramp --temp 99.8 --stamps "$work/stamps.txt" \
    | "$decode" >"$work/decoded.jsonl"
temperatures="$(grep -o '"thermoHygro":{[^}]*"temperature":[0-9.]*' "$work/decoded.jsonl" | sed 's/.*://' | cut -c1-5 | tr '\n' ' ')"
[ "$temperatures" = "99.80 99.90 100 " ] || { echo "temperatures: $temperatures" >&2; exit 1; }
awk 'NF != 3 || $3 > $1 { exit 1 } { printf "%s ", $2 }' "$work/stamps.txt" >"$work/labels.txt" \
    || { echo "bad stamp line" >&2; cat "$work/stamps.txt" >&2; exit 1; }
[ "$(cat "$work/labels.txt")" = "998 999 1000 " ] || { echo "labels: $(cat "$work/labels.txt")" >&2; exit 1; }
