#!/usr/bin/env bash
# sigint.sh QUILLEX_CLI QUILLEX_LINES: Ctrl-C (SIGINT) at moments spread over a run (reading the
# table, the operation's statement, the export; a line operation) stops it with "操作已取消" and
# exit status 130, leaves no result file and the previous one as it was, and no run folder or
# temporary file behind; a run the signal comes too late for ends normally with its whole result.
set -euo pipefail
cli="$(realpath "$1")"
lines="$(realpath "$2")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir tmp
export TMPDIR="$work/tmp"
fail() { echo "sigint: $*" >&2; exit 1; }

/usr/bin/python3 - <<'PY'
import random
r = random.Random(7)
with open("big.csv", "w", encoding="utf-8") as f:
    for i in range(300000):
        f.write(f"客户{r.randrange(60000)},{r.randrange(1000)},备注{i}\n")
with open("lines.txt", "w", encoding="utf-8") as f:
    for i in range(2000000):
        f.write(f"值{r.randrange(900000)}\n")
PY

# One uninterrupted run gives the whole result and the run's length.
start=$(date +%s%N)
"$cli" count big.csv --count 3 --by F1 -o whole.csv --quiet
total_ms=$(( ($(date +%s%N) - start) / 1000000 ))
[ -s whole.csv ] || fail "no result from the uninterrupted run"
sort whole.csv > whole.sorted

cancelled=0
for percent in 5 15 30 50 70 85 95; do
    printf 'old result\n' > out.csv
    "$cli" count big.csv --count 3 --by F1 -o out.csv --quiet 2> err.txt &
    pid=$!
    sleep "$(echo "scale=3; $total_ms * $percent / 100000" | bc)"
    kill -INT "$pid" 2>/dev/null || true
    set +e
    wait "$pid"
    status=$?
    set -e
    if [ "$status" = 130 ]; then
        cancelled=$((cancelled + 1))
        grep -qx '操作已取消' err.txt || fail "$percent%: no 操作已取消 ($(cat err.txt))"
        [ "$(cat out.csv)" = "old result" ] || fail "$percent%: the previous result was changed"
    elif [ "$status" = 0 ]; then
        sort out.csv | cmp -s - whole.sorted || fail "$percent%: a finished run's result differs"
    else
        fail "$percent%: exit status $status ($(cat err.txt))"
    fi
    leftovers=$(ls -A | grep -v -x -e big.csv -e lines.txt -e whole.csv -e whole.sorted \
        -e out.csv -e err.txt -e tmp -e schema.ini || true)
    [ -z "$leftovers" ] || fail "$percent%: files left beside the result: $leftovers"
    [ -z "$(ls -A tmp)" ] || fail "$percent%: the run folder was left: $(ls -A tmp)"
done
[ "$cancelled" -ge 3 ] || fail "only $cancelled of 7 runs were cancelled"

# A line operation: the result file is not written when the signal comes first.
printf 'old\n' > "lines去重复.txt"
"$lines" dedupe lines.txt 2> err.txt &
pid=$!
sleep 0.05
kill -INT "$pid"
set +e
wait "$pid"
status=$?
set -e
if [ "$status" = 130 ]; then
    grep -qx '操作已取消' err.txt || fail "lines: no 操作已取消"
    [ "$(cat "lines去重复.txt")" = "old" ] || fail "lines: the previous result was changed"
elif [ "$status" != 0 ]; then
    fail "lines: exit status $status"
fi
echo "sigint: $cancelled of 7 table runs and the line run stopped cleanly"
