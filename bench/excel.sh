#!/usr/bin/env bash
# bench/excel.sh [ROWS]: reading an .xlsx of ROWS rows × 5 columns (default 1,000,000; written
# once by our own writer) into the working database, against LibreOffice converting the same
# file to csv, in one run. Prints both times, the ratio (ours / LibreOffice) and our peak memory.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
rows="${1:-1000000}"
"$root/scripts/setup"
"$root/scripts/build" release --target qx_bench_engine >/dev/null
bin="$root/build/release/qx_bench_engine"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$bin" xlsxgen "$work/gen.db" "$work/data.xlsx" "$rows"
rm -f "$work/gen.db"
sync  # the written files reach the disk before anything is timed
size=$(stat -c %s "$work/data.xlsx")

# Best of several runs each, so that a stray disk flush does not decide the ratio.
ours=""
rss_kb=0
for _ in 1 2 3; do
    rm -f "$work/read.db"
    start=$(date +%s.%N)
    /usr/bin/time -f '%M' -o "$work/rss" "$bin" xlsxread "$work/read.db" "$work/data.xlsx"
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$ours" ] || [ "$(echo "$t < $ours" | bc -l)" -eq 1 ]; then ours=$t; fi
    rss=$(cat "$work/rss")
    [ "$rss" -gt "$rss_kb" ] && rss_kb=$rss
done

peer=""
for _ in 1 2; do
    rm -rf "$work/lo"
    start=$(date +%s.%N)
    HOME="$work" soffice --headless --convert-to csv --outdir "$work/lo" "$work/data.xlsx" >/dev/null 2>&1
    end=$(date +%s.%N)
    [ -s "$work/lo/data.csv" ] || { echo "LibreOffice produced no csv" >&2; exit 1; }
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$peer" ] || [ "$(echo "$t < $peer" | bc -l)" -eq 1 ]; then peer=$t; fi
done

printf 'xlsx of %s rows x 5 columns (%s bytes)\n' "$rows" "$size"
printf 'read into the working database (best of 3): ours %.2fs, LibreOffice to csv (best of 2) %.2fs, ratio %.3f\n' \
    "$ours" "$peer" "$(echo "$ours / $peer" | bc -l)"
printf 'our peak memory: %d MB\n' "$((rss_kb / 1024))"
