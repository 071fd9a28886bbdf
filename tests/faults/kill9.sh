#!/usr/bin/env bash
# kill9.sh QUILLEX_CLI QUILLEX_LINES XLSX_DUMP [TRIALS]: a run killed with SIGKILL at a random moment of an
# export (each kind a result is written in) or of an in-place rewrite (trim, unquote) leaves the
# target as it was or whole and new, never half-written: TRIALS kills in all (default 50), each
# target then read back by our own readers and compared with the old file and with an
# uninterrupted run's result. The folders the killed runs leave are removed by the next run.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cli="$(realpath "$1")"
lines="$(realpath "$2")"
xlsx_dump="$(realpath "$3")"
trials="${4:-50}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
# The runs' own folders go here, to be counted at the end.
mkdir tmp
export TMPDIR="$work/tmp"
fail() { echo "kill9: $*" >&2; exit 1; }

/usr/bin/python3 "$here/make_tables.py" 40000 5
/usr/bin/python3 - <<'PY'
import random
r = random.Random(5)
with open("lines.txt", "w", encoding="utf-8", newline="\r\n") as f:
    for i in range(300000):
        f.write(f'  "值{r.randrange(100000)}"  \n' if i % 7 else "\n")
PY

# What a file holds, as our readers read it: a table through the command line, text as bytes.
readback() {
    case "$1" in
        *.txt.lines) cat "$1" ;;
        *.xlsx) "$xlsx_dump" read "$1" ;;
        *) "$cli" distinct "$1" --count 3 --delimiter , -o "$work/check.csv" --quiet >/dev/null 2>&1 &&
               cat "$work/check.csv" ;;
    esac
}

kinds=(csv txt dbf xls mdb xlsx)
source_of() { [ "$1" = xlsx ] && echo xlsx || echo csv; }
declare -A old new
for k in "${kinds[@]}"; do
    mkdir -p "ref_$k"
    "$cli" distinct "small.$(source_of "$k")" --count 3 -o "ref_$k/old.$k" --quiet
    "$cli" distinct "big.$(source_of "$k")" --count 3 -o "ref_$k/new.$k" --quiet
    old[$k]="$(readback "ref_$k/old.$k" | sha1sum)"
    new[$k]="$(readback "ref_$k/new.$k" | sha1sum)"
    [ "${old[$k]}" != "${new[$k]}" ] || fail "the old and the new .$k read back alike"
done
cp lines.txt lines_old.txt
"$lines" trim lines_old.txt && cp lines_old.txt trimmed.txt && cp lines.txt lines_old.txt
"$lines" unquote lines_old.txt && cp lines_old.txt unquoted.txt

start_ms() { date +%s%3N; }
# How long an uninterrupted run takes, to kill within it.
t0=$(start_ms)
"$cli" distinct big.csv --count 3 -o "$work/timing.dbf" --quiet
span=$(( $(start_ms) - t0 ))
t0=$(start_ms)
cp lines.txt timing.txt && "$lines" trim timing.txt
lspan=$(( $(start_ms) - t0 ))

RANDOM=7
outcomes=""
for ((i = 0; i < trials; i++)); do
    if (( i % 6 == 5 )); then
        # An in-place rewrite of a text file.
        op=$([ $((i % 12)) -eq 5 ] && echo trim || echo unquote)
        cp lines.txt target.txt
        "$lines" "$op" target.txt &
        pid=$!
        sleep "$(echo "scale=3; $((RANDOM % (lspan + 1))) / 1000" | bc)"
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        want=$([ "$op" = trim ] && echo trimmed.txt || echo unquoted.txt)
        if cmp -s target.txt lines.txt; then
            outcomes+="o"
        elif cmp -s target.txt "$want"; then
            outcomes+="n"
        else
            fail "trial $i: $op killed, the file is neither the old one nor the new one"
        fi
        continue
    fi
    k=${kinds[$((i % ${#kinds[@]}))]}
    rm -rf "t"; mkdir t
    cp "ref_$k/old.$k" "t/out.$k"
    [ "$k" = dbf ] && cp ref_dbf/old.dbt t/out.dbt 2>/dev/null || true
    "$cli" distinct "big.$(source_of "$k")" --count 3 -o "t/out.$k" --quiet >/dev/null 2>&1 &
    pid=$!
    sleep "$(echo "scale=3; $((RANDOM % (span + 1))) / 1000" | bc)"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    got="$(readback "t/out.$k" | sha1sum)"
    if [ "$got" = "${old[$k]}" ]; then
        outcomes+="o"
    elif [ "$got" = "${new[$k]}" ]; then
        outcomes+="n"
    else
        fail "trial $i: export to .$k killed, the target is neither the old table nor the new one"
    fi
done
echo "$trials kills: every target old (o) or whole and new (n): $outcomes"
# What the killed runs left is removed by the next run, which leaves nothing itself.
"$cli" distinct small.csv --count 3 -o "$work/last.csv" --quiet
left="$(find tmp -mindepth 1 -maxdepth 1 -name 'quillex-cli-*' | wc -l)"
[ "$left" -eq 0 ] || fail "$left folders of ended runs are left in the temporary folder"
