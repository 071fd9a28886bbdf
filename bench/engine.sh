#!/usr/bin/env bash
# bench/engine.sh [ROWS]: the absent-rows comparison and the group count on two tables of ROWS
# rows (default 1,000,000; keys half overlapping, Chinese text keys), run through our Jet engine
# and, on the same data in the same run, through the sqlite3 shell with hand-written native SQL.
# Prints the time of each and the ratios ours / sqlite3 (best of three runs each).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/bench/lib.sh"
rows="${1:-1000000}"
"$root/scripts/setup"
"$root/scripts/build" release --target qx_bench_engine >/dev/null
bin="$root/build/release/qx_bench_engine"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$bin" generate "$work/ours.db" "$work/peer.db" "$rows"

cat > "$work/absent.sql" <<'SQL'
PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536;
BEGIN;
CREATE INDEX i1 ON t1(k);
CREATE INDEX i2 ON t2(k);
CREATE TABLE r AS SELECT t2.k, t2.a, t2.n FROM t2 WHERE NOT EXISTS (SELECT 1 FROM t1 WHERE t1.k = t2.k);
COMMIT;
SQL
cat > "$work/group.sql" <<'SQL'
PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536;
BEGIN;
CREATE TABLE g AS SELECT k, count(*) AS n FROM t1 GROUP BY k;
COMMIT;
SQL

fresh_copies() {
    cp "$work/ours.db" "$work/ours-run.db"
    cp "$work/peer.db" "$work/peer-run.db"
}

ours_absent=$(best_of_three fresh_copies "$bin" absent "$work/ours-run.db")
peer_absent=$(best_of_three fresh_copies sh -c "sqlite3 '$work/peer-run.db' < '$work/absent.sql'")
ours_group=$(best_of_three fresh_copies "$bin" group "$work/ours-run.db")
peer_group=$(best_of_three fresh_copies sh -c "sqlite3 '$work/peer-run.db' < '$work/group.sql'")

printf 'rows per table: %s\n' "$rows"
printf 'absent rows: ours %.3fs, sqlite3 %.3fs, ratio %.2f\n' "$ours_absent" "$peer_absent" \
    "$(echo "$ours_absent / $peer_absent" | bc -l)"
printf 'group count: ours %.3fs, sqlite3 %.3fs, ratio %.2f\n' "$ours_group" "$peer_group" \
    "$(echo "$ours_group / $peer_group" | bc -l)"
