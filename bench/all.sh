#!/usr/bin/env bash
# bench/all.sh [PAIRS] [duckdb]: every speed target on the release build, against its peer on the same
# data in one run, alternating ours and the peer PAIRS times (default 5: on a shared machine a
# single pair moves by up to half); prints one table: the peer's median time, ours, the median
# of the pairwise ratios, our peak memory and, for the table operations against DuckDB, the
# largest our working database grew on disk. The inputs come from the generators of
# ../shared/bench (1,000,000 lines, rows or workbook rows). QX_BENCH_10M=1 adds the DuckDB rows
# on tables of 10,000,000 rows (about 400 MB each; some minutes); "duckdb" runs those rows only.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
pairs="${1:-5}"
only="${2:-}"
shared="$root/../shared/bench"
"$root/scripts/setup"
"$root/scripts/build" release --target quillex-lines quillex-cli qx_bench_engine >/dev/null
rel="$root/build/release"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
py=/usr/bin/python3

$py "$shared/gen_tables.py" "$work/tables" >/dev/null
if [ "$only" != duckdb ]; then
$py "$shared/gen_lines.py" "$work/lines" >/dev/null
(cd "$work" && $py "$shared/gen_xlsx.py" >/dev/null)
# The same workbook at 100,000 rows, for the memory a read takes at another size.
sed 's/range(1000000)/range(100000)/; s/big.xlsx/small.xlsx/' "$shared/gen_xlsx.py" >"$work/gen_small.py"
(cd "$work" && $py gen_small.py >/dev/null)
"$rel/qx_bench_engine" xlsxgen "$work/gen.db" "$work/ours_writer.xlsx" 1000000 >/dev/null
rm -f "$work/gen.db"
# The same rows saved as .mdb by our writer, at 1M and 100k rows (memory flat in rows).
"$rel/qx_bench_engine" mdbgen "$work/gen.db" "$work/big.mdb" 1000000 >/dev/null
rm -f "$work/gen.db"
"$rel/qx_bench_engine" mdbgen "$work/gen.db" "$work/small.mdb" 100000 >/dev/null
rm -f "$work/gen.db"
fi
sync

# DuckDB, the peer of the table operations, runs from its npm package in bench/duckdb.
if [ ! -d "$root/bench/duckdb/node_modules/@duckdb/node-api" ]; then
    (cd "$root/bench/duckdb" && npm install --no-audit --no-fund --silent >/dev/null)
fi

# run NAME -- PEER... -- OURS...: PAIRS times the peer then ours; the table's row. With
# watch=DIR, the largest size of the files in DIR while ours runs is the row's last column.
declare -a table
watch=""
now() { date +%s.%N; }
largest() {
    local max=0 size
    while [ -e "$work/watching" ]; do
        size=$(du -sb "$1" 2>/dev/null | cut -f1) || size=0
        [ "${size:-0}" -gt "$max" ] && max=$size && echo "$max" >"$work/largest"
        sleep 0.05
    done
}
run() {
    local name="$1"
    shift 2
    local peer=() ours=()
    while [ "$1" != "--" ]; do peer+=("$1"); shift; done
    shift
    ours=("$@")
    local ratios=() pt=() ot=() peak=0 disk=0
    for ((i = 0; i < pairs; i++)); do
        local s e tp to
        # Each side's output is written back before the other runs: a later fsync does not pay
        # for the files the run before it left dirty.
        sync
        s=$(now); "${peer[@]}" >/dev/null 2>&1; e=$(now); tp=$(echo "$e - $s" | bc -l)
        sync
        [ -n "$watch" ] && rm -rf "$watch" && mkdir -p "$watch"
        s=$(now); /usr/bin/time -f '%M' -o "$work/rss" "${ours[@]}" >/dev/null 2>&1; e=$(now)
        to=$(echo "$e - $s" | bc -l)
        pt+=("$tp"); ot+=("$to"); ratios+=("$(echo "$to / $tp" | bc -l)")
        local rss; rss=$(cat "$work/rss"); [ "$rss" -gt "$peak" ] && peak=$rss
    done
    # The largest the working database grows is watched on a run of its own: the watcher's
    # forks would take a core from the timed runs (and from ours only).
    if [ -n "$watch" ]; then
        sync
        rm -rf "$watch" && mkdir -p "$watch" && touch "$work/watching" && echo 0 >"$work/largest"
        largest "$watch" &
        "${ours[@]}" >/dev/null 2>&1
        rm -f "$work/watching" && wait
        disk=$(cat "$work/largest")
    fi
    median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
    local diskMb=""
    [ -n "$watch" ] && diskMb=$((disk / 1048576))
    table+=("$(printf '%-44s %9.3f %9.3f %8.3f %8d %8s' "$name" "$(median "${pt[@]}")" \
        "$(median "${ot[@]}")" "$(median "${ratios[@]}")" "$((peak / 1024))" "$diskMb")")
    echo "${table[-1]}" >&2
}

T="$work/tables"
if [ "$only" != duckdb ]; then
L="$work/lines"
run "de-duplicate 1M lines (sort -u)" -- env LC_ALL=C sort -u "$L/A.txt" -o "$work/sorted.txt" \
    -- "$rel/quillex-lines" dedupe "$L/A.txt"
run "A without B, 1M x 1M lines (grep -Fxv -f)" -- sh -c "grep -Fxv -f '$L/B.txt' '$L/A.txt' > '$work/grep.txt'; true" \
    -- "$rel/quillex-lines" a-not-b "$L/A.txt" "$L/B.txt"
rm -f "$work/read.db"
run "read gen_xlsx.py's 1M x 5 workbook (LibreOffice)" \
    -- env HOME="$work" soffice --headless --convert-to csv --outdir "$work/lo" "$work/big.xlsx" \
    -- sh -c "rm -f '$work/read.db'; '$rel/qx_bench_engine' xlsxread '$work/read.db' '$work/big.xlsx'"
run "read the workbook at 100k rows (LibreOffice)" \
    -- env HOME="$work" soffice --headless --convert-to csv --outdir "$work/lo" "$work/small.xlsx" \
    -- sh -c "rm -f '$work/read.db'; '$rel/qx_bench_engine' xlsxread '$work/read.db' '$work/small.xlsx'"
run "read our writer's 1M x 5 workbook (LibreOffice)" \
    -- env HOME="$work" soffice --headless --convert-to csv --outdir "$work/lo" "$work/ours_writer.xlsx" \
    -- sh -c "rm -f '$work/read.db'; '$rel/qx_bench_engine' xlsxread '$work/read.db' '$work/ours_writer.xlsx'"

run "read our writer's 1M x 5 .mdb (mdb-export to csv)" \
    -- sh -c "mdb-export '$work/big.mdb' 数据 > '$work/mdb.csv'" \
    -- sh -c "rm -f '$work/read.db'; '$rel/qx_bench_engine' mdbread '$work/read.db' '$work/big.mdb'"
run "read the .mdb at 100k rows (mdb-export to csv)" \
    -- sh -c "mdb-export '$work/small.mdb' 数据 > '$work/mdb.csv'" \
    -- sh -c "rm -f '$work/read.db'; '$rel/qx_bench_engine' mdbread '$work/read.db' '$work/small.mdb'"

# The peers: sqlite_peer COLLATE TABLES STATEMENTS imports each of TABLES (t1, t2) from its csv
# into a fresh database, runs STATEMENTS (which make r) and exports r to csv. With COLLATE
# "COLLATE NOCASE" the key column compares without regard to case, as Jet's text does (ASCII
# only: a little less work than ours), the fair floor.
sqlite_peer() {
    local collate="$1" tables="$2" statements="$3" imports="" t
    for t in $tables; do
        imports+="CREATE TABLE $t (F1 TEXT $collate, F2 TEXT, F3 TEXT);"$'\n'
        imports+=".import '$T/$t.csv' $t"$'\n'
    done
    rm -f "$work/peer.db"
    sqlite3 "$work/peer.db" <<SQL
PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;
.mode csv
$imports
$statements
.headers on
.once '$work/peer.csv'
SELECT * FROM r;
SQL
}
sqlite_count() {
    sqlite_peer "${1:-}" t1 "CREATE TABLE r AS SELECT F1, count(*) AS 笔数 FROM t1 GROUP BY F1;"
}
sqlite_absent() {
    sqlite_peer "${1:-}" "t1 t2" "CREATE INDEX i1 ON t1(F1);
CREATE INDEX i2 ON t2(F1);
CREATE TABLE r AS SELECT * FROM t1 WHERE NOT EXISTS (SELECT 1 FROM t2 WHERE t2.F1 = t1.F1);"
}
run "merge with count: 1M-row csv to csv (sqlite3)" -- sqlite_count \
    -- "$rel/quillex-cli" count "$T/t1.csv" --count 3 --by F1 -o "$work/ours.csv" --quiet
run "absent rows: two 1M-row csv to csv (sqlite3)" -- sqlite_absent \
    -- "$rel/quillex-cli" absent "$T/t1.csv" "$T/t2.csv" --count 3 --key1 F1 --key2 F1 \
    --columns A.F1,A.F2,A.F3 -o "$work/ours.csv" --quiet
run "merge with count, peer with COLLATE NOCASE" -- sqlite_count "COLLATE NOCASE" \
    -- "$rel/quillex-cli" count "$T/t1.csv" --count 3 --by F1 -o "$work/ours.csv" --quiet
run "absent rows, peer with COLLATE NOCASE" -- sqlite_absent "COLLATE NOCASE" \
    -- "$rel/quillex-cli" absent "$T/t1.csv" "$T/t2.csv" --count 3 --key1 F1 --key2 F1 \
    --columns A.F1,A.F2,A.F3 -o "$work/ours.csv" --quiet
fi

# The table operations against DuckDB: whole processes, csv in and csv out, keys compared
# without regard to case on both sides (lower() in DuckDB).
duck="$root/bench/duckdb/peer.mjs"
duckdb_rows() {
    local dir="$1" size="$2"
    watch="$work/wd"
    run "absent rows --keep 2, ${size} (DuckDB)" \
        -- node "$duck" absent "$dir/t1.csv" "$dir/t2.csv" "$work/duck.csv" \
        -- "$rel/quillex-cli" absent "$dir/t1.csv" "$dir/t2.csv" --count 3 --key1 F1 --key2 F1 \
        --keep 2 --columns B.F1,B.F2,B.F3 -o "$work/ours.csv" --quiet --workdir "$watch"
    run "merge with count, ${size} (DuckDB)" \
        -- node "$duck" count "$dir/t1.csv" "$work/duck.csv" \
        -- "$rel/quillex-cli" count "$dir/t1.csv" --count 3 --by F1 -o "$work/ours.csv" --quiet \
        --workdir "$watch"
    watch=""
}
duckdb_rows "$T" "1M rows"
if [ "${QX_BENCH_10M:-}" = 1 ]; then
    $py "$shared/gen_tables.py" "$work/tables10m" 10000000 >/dev/null
    duckdb_rows "$work/tables10m" "10M rows"
    rm -rf "$work/tables10m"
fi

printf '\n%-44s %9s %9s %8s %8s %8s\n' "work (peer)" "peer s" "ours s" "ratio" "ours MB" "disk MB"
printf '%s\n' "${table[@]}"
echo "(median of $pairs runs each, alternating; ratio = median of the pairwise ours / peer)"
