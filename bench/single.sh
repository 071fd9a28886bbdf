#!/usr/bin/env bash
# bench/single.sh [ROWS]: merge with count, merge with sum, de-duplication by a column and the
# repeat-count filter on a table of ROWS rows (default 1,000,000), each as a whole operation
# with its csv export, through the program's operations and, on the same data in the same run,
# through the sqlite3 shell with hand-written native SQL and its csv output.
# Prints the time of each and the ratios ours / sqlite3 (best of three runs each).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/bench/lib.sh"
rows="${1:-1000000}"
"$root/scripts/setup"
"$root/scripts/build" release --target qx_bench_engine qx_bench_single >/dev/null
gen="$root/build/release/qx_bench_engine"
bin="$root/build/release/qx_bench_single"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/prog"

"$gen" generate "$work/ours.db" "$work/peer.db" "$rows"

head='PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536;'
peer_sql() {
    case "$1" in
        count) echo "$head CREATE TABLE r AS SELECT a, count(*) AS n FROM t1 GROUP BY a;" ;;
        sum) echo "$head CREATE TABLE r AS SELECT a, sum(n) AS s, count(*) AS c FROM t1 GROUP BY a;" ;;
        # The same steps as the operation: number the rows, keep the lowest number per value,
        # take those rows, remove the numbers again.
        dedup) echo "$head ALTER TABLE t1 ADD COLUMN id INTEGER; UPDATE t1 SET id = rowid;
CREATE TABLE tmp1 AS SELECT min(id) AS ID FROM t1 GROUP BY a;
CREATE TABLE r AS SELECT * FROM t1 WHERE id IN (SELECT ID FROM tmp1);
ALTER TABLE r DROP COLUMN id; ALTER TABLE t1 DROP COLUMN id;" ;;
        # For reference: the shortest native way to the same rows (no numbering column).
        dedup-rowid) echo "$head CREATE TABLE r AS SELECT * FROM t1 WHERE rowid IN (SELECT min(rowid) FROM t1 GROUP BY a);" ;;
        repeat) echo "$head CREATE TABLE r AS SELECT * FROM t1 WHERE a IN (SELECT a FROM t1 GROUP BY a HAVING count(*) > 1);" ;;
    esac
    printf '.headers on\n.mode csv\n.once %s\nSELECT * FROM r;\n' "$work/peer.csv"
}

fresh_copies() {
    cp "$work/ours.db" "$work/prog/结果表.mdb"
    cp "$work/peer.db" "$work/peer-run.db"
    rm -f "$work/ours.csv" "$work/peer.csv"
}

printf 'rows: %s\n' "$rows"
peer_sql dedup-rowid > "$work/dedup-rowid.sql"
rowid=$(best_of_three fresh_copies sh -c "sqlite3 '$work/peer-run.db' < '$work/dedup-rowid.sql'")
for op in count sum dedup repeat; do
    peer_sql "$op" > "$work/$op.sql"
    ours=$(best_of_three fresh_copies "$bin" "$work/prog" "$op" "$work/ours.csv")
    peer=$(best_of_three fresh_copies sh -c "sqlite3 '$work/peer-run.db' < '$work/$op.sql'")
    printf '%-7s ours %.3fs, sqlite3 %.3fs, ratio %.2f\n' "$op" "$ours" "$peer" \
        "$(echo "$ours / $peer" | bc -l)"
    if [ "$op" = dedup ]; then
        printf '        (sqlite3 without a numbering column %.3fs, ratio %.2f)\n' "$rowid" \
            "$(echo "$ours / $rowid" | bc -l)"
    fi
done
