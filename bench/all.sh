#!/usr/bin/env bash
# bench/all.sh [PAIRS]: every speed target on the release build, against its peer on the same
# data in one run, alternating ours and the peer PAIRS times (default 5: on a shared machine a
# single pair moves by up to half); prints one table: the peer's median time, ours, the median
# of the pairwise ratios and our peak memory. The inputs come from the generators of
# ../shared/bench (1,000,000 lines, rows or workbook rows).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
pairs="${1:-5}"
shared="$root/../shared/bench"
"$root/scripts/setup"
"$root/scripts/build" release --target quillex-lines quillex-cli qx_bench_engine >/dev/null
rel="$root/build/release"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
py=/usr/bin/python3

$py "$shared/gen_lines.py" "$work/lines" >/dev/null
$py "$shared/gen_tables.py" "$work/tables" >/dev/null
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
sync

# run NAME -- PEER... -- OURS...: PAIRS times the peer then ours; the table's row.
declare -a table
now() { date +%s.%N; }
run() {
    local name="$1"
    shift 2
    local peer=() ours=()
    while [ "$1" != "--" ]; do peer+=("$1"); shift; done
    shift
    ours=("$@")
    local ratios=() pt=() ot=() peak=0
    for ((i = 0; i < pairs; i++)); do
        local s e tp to
        # Each side's output is written back before the other runs: a later fsync does not pay
        # for the files the run before it left dirty.
        sync
        s=$(now); "${peer[@]}" >/dev/null 2>&1; e=$(now); tp=$(echo "$e - $s" | bc -l)
        sync
        s=$(now); /usr/bin/time -f '%M' -o "$work/rss" "${ours[@]}" >/dev/null 2>&1; e=$(now)
        to=$(echo "$e - $s" | bc -l)
        pt+=("$tp"); ot+=("$to"); ratios+=("$(echo "$to / $tp" | bc -l)")
        local rss; rss=$(cat "$work/rss"); [ "$rss" -gt "$peak" ] && peak=$rss
    done
    median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
    table+=("$(printf '%-44s %9.3f %9.3f %8.3f %8d' "$name" "$(median "${pt[@]}")" \
        "$(median "${ot[@]}")" "$(median "${ratios[@]}")" "$((peak / 1024))")")
    echo "${table[-1]}" >&2
}

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

T="$work/tables"
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

printf '\n%-44s %9s %9s %8s %8s\n' "work (peer)" "peer s" "ours s" "ratio" "ours MB"
printf '%s\n' "${table[@]}"
echo "(median of $pairs runs each, alternating; ratio = median of the pairwise ours / peer)"
