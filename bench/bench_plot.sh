#!/bin/bash
# Times the grapher core on generated recordings of a day, a month and a year of one-second records, against
# reading the same file with cat (both with the file in the page cache), and checks that the statistics are those
# of a reference build. Run on demand; files stay in build/bench.
#   bash bench/bench_plot.sh [day|month|year ...]
# The statistics of each file (and of the tests' recordings) are compared byte for byte with build/bench/stats/,
# written by the first run; remove that folder to take the current build as the reference.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="$root/build/bench"
cmake -S "$root" -B "$bench" -DCMAKE_BUILD_TYPE=Release -DHX350_SANITIZE=OFF >/dev/null
cmake --build "$bench" -j 2 --target plot-bench >/dev/null
mkdir -p "$bench/data" "$bench/stats"
declare -A seconds=([day]=86400 [month]=2678400 [year]=31536000)
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(day month year)
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(free -g | awk '/Mem:/{print $2}') GB RAM"

# Prints whether FILE's statistics are the reference's (NAME under build/bench/stats), and fails when they are not.
compare_stats() {
    local name="$1" file="$2" out="$bench/stats/$1.new" ref="$bench/stats/$1"
    "$bench/bench/plot-bench" stats "$file" > "$out"
    if [ ! -f "$ref" ]; then
        mv "$out" "$ref"
        echo "statistics $name: reference written ($(wc -l < "$ref") lines)"
    elif cmp -s "$out" "$ref"; then
        rm "$out"
        echo "statistics $name: identical to the reference ($(wc -l < "$ref") lines)"
    else
        echo "statistics $name: DIFFER from the reference:"
        diff "$ref" "$out" | head -20
        return 1
    fi
}

for golden in "$root"/tests/data/plot/*.hxg; do
    compare_stats "golden-$(basename "$golden" .hxg)" "$golden"
done
for size in "${sizes[@]}"; do
    file="$bench/data/$size.hxg"
    [ -f "$file" ] || "$bench/bench/plot-bench" gen "$file" "${seconds[$size]}"
    cat "$file" > /dev/null # into the page cache for both
    echo "== $size, load average $(cut -d' ' -f1-3 /proc/loadavg)"
    start=$(date +%s.%N); cat "$file" > /dev/null; end=$(date +%s.%N)
    cat_s=$(echo "$end - $start" | bc)
    result=$("$bench/bench/plot-bench" open "$file")
    echo "$result"
    open_s=$(echo "$result" | sed -n 's/.*open_s=\([0-9.]*\).*/\1/p')
    printf 'open_s=%.3f cat_s=%.3f ratio=%.1f\n' "$open_s" "$cat_s" "$(echo "$open_s / $cat_s" | bc -l)"
    compare_stats "$size" "$file"
done
