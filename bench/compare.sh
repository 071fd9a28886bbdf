#!/usr/bin/env bash
# bench/compare.sh [ROWS]: the two-table comparisons as whole operations (statement and csv
# export). Absent rows and common rows on two tables of ROWS rows (default 1,000,000; keys half
# overlapping) against the same work through the sqlite3 shell in native SQL; similar rows with
# table one of 200,000 rows and table two of 20,000 values against one LIKE INSERT per value
# through the same engine. Prints the times and the ratios.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/bench/lib.sh"
rows="${1:-1000000}"
"$root/scripts/setup"
"$root/scripts/build" release --target qx_bench_engine qx_bench_compare >/dev/null
gen="$root/build/release/qx_bench_engine"
bin="$root/build/release/qx_bench_compare"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/prog"

"$gen" generate "$work/ours.db" "$work/peer.db" "$rows"
head='PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536;
CREATE INDEX i1 ON t1(k); CREATE INDEX i2 ON t2(k);'
tail=".headers on
.mode csv
.once $work/peer.csv
SELECT * FROM r;"
printf '%s\nCREATE TABLE r AS SELECT t2.k, t2.a, t2.n FROM t2 WHERE NOT EXISTS (SELECT 1 FROM t1 WHERE t1.k = t2.k);\n%s\n' \
    "$head" "$tail" > "$work/absent.sql"
printf '%s\nCREATE TABLE r AS SELECT t1.a, t2.n FROM t1, t2 WHERE t1.k = t2.k;\n%s\n' \
    "$head" "$tail" > "$work/common.sql"

fresh_copies() {
    cp "$work/ours.db" "$work/prog/结果表.mdb"
    cp "$work/peer.db" "$work/peer-run.db"
    rm -f "$work/ours.csv" "$work/peer.csv"
}

printf 'rows per table: %s\n' "$rows"
for op in absent common; do
    ours=$(best_of_three fresh_copies "$bin" "$op" "$work/prog" "$work/ours.csv")
    peer=$(best_of_three fresh_copies sh -c "sqlite3 '$work/peer-run.db' < '$work/$op.sql'")
    printf '%-7s ours %.3fs, sqlite3 %.3fs, ratio %.2f\n' "$op" "$ours" "$peer" \
        "$(echo "$ours / $peer" | bc -l)"
done

mkdir -p "$work/similar"
"$bin" gen-similar "$work/similar" 200000 20000
cp "$work/similar/结果表.mdb" "$work/similar.mdb"
time_once() {
    cp "$work/similar.mdb" "$work/similar/结果表.mdb"
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
ours=$(time_once "$bin" similar "$work/similar" "$work/ours.csv")
loop=$(time_once "$bin" similar-loop "$work/similar" "$work/loop.csv")
cmp -s "$work/ours.csv" "$work/loop.csv" || { echo "similar rows: the two results differ" >&2; exit 1; }
printf 'similar rows (200,000 × 20,000): ours %.3fs, one LIKE per value %.1fs, %.0f × faster\n' \
    "$ours" "$loop" "$(echo "$loop / $ours" | bc -l)"
