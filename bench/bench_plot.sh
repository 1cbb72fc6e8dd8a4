#!/bin/bash
# Times the grapher core on generated recordings of a day, a month and a year of one-second records, against
# reading the same file with cat (both with the file in the page cache). Run on demand; files stay in build/bench.
#   bash bench/bench_plot.sh [day|month|year ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="$root/build/bench"
cmake -S "$root" -B "$bench" -DCMAKE_BUILD_TYPE=Release -DHX350_SANITIZE=OFF >/dev/null
cmake --build "$bench" -j 2 --target plot-bench >/dev/null
mkdir -p "$bench/data"
declare -A seconds=([day]=86400 [month]=2678400 [year]=31536000)
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(day month year)
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(free -g | awk '/Mem:/{print $2}') GB RAM"
for size in "${sizes[@]}"; do
    file="$bench/data/$size.hxg"
    [ -f "$file" ] || "$bench/bench/plot-bench" gen "$file" "${seconds[$size]}"
    cat "$file" > /dev/null # into the page cache for both
    start=$(date +%s.%N); cat "$file" > /dev/null; end=$(date +%s.%N)
    cat_s=$(echo "$end - $start" | bc)
    echo "== $size: cat_s=$cat_s"
    "$bench/bench/plot-bench" open "$file"
done
