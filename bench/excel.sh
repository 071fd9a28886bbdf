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
size=$(stat -c %s "$work/data.xlsx")

start=$(date +%s.%N)
/usr/bin/time -f '%M' -o "$work/rss" "$bin" xlsxread "$work/read.db" "$work/data.xlsx"
end=$(date +%s.%N)
ours=$(echo "$end - $start" | bc -l)
rss_kb=$(cat "$work/rss")

start=$(date +%s.%N)
HOME="$work" soffice --headless --convert-to csv --outdir "$work/lo" "$work/data.xlsx" >/dev/null 2>&1
end=$(date +%s.%N)
peer=$(echo "$end - $start" | bc -l)
[ -s "$work/lo/data.csv" ] || { echo "LibreOffice produced no csv" >&2; exit 1; }

printf 'xlsx of %s rows x 5 columns (%s bytes)\n' "$rows" "$size"
printf 'read into the working database: ours %.2fs, LibreOffice to csv %.2fs, ratio %.3f\n' \
    "$ours" "$peer" "$(echo "$ours / $peer" | bc -l)"
printf 'our peak memory: %d MB\n' "$((rss_kb / 1024))"
