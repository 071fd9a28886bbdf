#!/usr/bin/env bash
# same_as_window.sh SCENARIO_RUNNER QUILLEX_CLI: every table operation run in the window
# (window.scn) and from the command line with the same inputs and choices gives the same result
# file: text and dBASE files byte for byte, workbooks and Access files by the tables read back
# (their containers carry times). Then the command line's refusals: message, exit status, and no
# output file left behind.
set -euo pipefail
runner="$1"
cli="$2"
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
cp -r "$here/../data" "$tmp/data"
mkdir -p "$tmp/win" "$tmp/cli"
fail() { echo "same_as_window: $*" >&2; exit 1; }
# QX_RUN, when set, runs the programs (scripts/windows/wine-run for the Windows build).
run=(${QX_RUN:+"$QX_RUN"})

QT_QPA_PLATFORM=offscreen "${run[@]}" "$runner" --tmp "$tmp" "$here/window.scn" >"$tmp/scenario.log" 2>&1 ||
    { cat "$tmp/scenario.log" >&2; fail "the window's scenario"; }

x="$tmp/data/excel/xlwt_two.xls"
q=(--quiet)
"${run[@]}" "$cli" absent "$x:表一" "$x:表二" --header --keep 2 --key1 编号 --key2 编号 \
    --columns B.编号,B.说明 -o "$tmp/cli/absent.csv" "${q[@]}"
"${run[@]}" "$cli" common "$x:表一" "$x:表二" --header --key1 编号 --key2 编号 \
    --columns B.编号,B.说明 -o "$tmp/cli/common.xls" "${q[@]}"
"${run[@]}" "$cli" similar "$x:表一" "$x:表一" --header --key1 名称 --key2 名称 \
    --columns A.编号,A.名称 -o "$tmp/cli/similar.mdb" "${q[@]}"
"${run[@]}" "$cli" count "$x:表一" --header --by 名称 -o "$tmp/cli/count.dbf" "${q[@]}"
"${run[@]}" "$cli" sum "$x:表一" --header --by 名称 --sum 编号 -o "$tmp/cli/sum.txt" "${q[@]}"
"${run[@]}" "$cli" distinct "$x:表一" --header -o "$tmp/cli/distinct.csv" "${q[@]}"
"${run[@]}" "$cli" dedupe "$x:表一" --header --by 编号 -o "$tmp/cli/dedupe.xls" "${q[@]}"
"${run[@]}" "$cli" length "$x:表一" --header --by 名称 --op = --value 1 -o "$tmp/cli/length.csv" "${q[@]}"
"${run[@]}" "$cli" repeat "$x:表一" --header --by 编号 --op '>' --value 1 -o "$tmp/cli/repeat.mdb" "${q[@]}"
"${run[@]}" "$cli" query "$x:表一" "$x:表二" --header --where "[1_1].编号 > 1" --columns 1.名称,2.说明 \
    -o "$tmp/cli/query.csv" "${q[@]}"
"${run[@]}" "$cli" update "$x:表一" --header --set "1.名称='x'" --where "[1_1].编号 = 2" \
    -o "$tmp/cli/update.csv" "${q[@]}"
"${run[@]}" "$cli" delete "$x:表一" --header --from 1 --where "[1_1].编号 = 3" -o "$tmp/cli/delete.dbf" "${q[@]}"

# The tables of a workbook or an Access file, as text.
tables_of() {
    case "$1" in
        *.xls) /usr/bin/python3 -c '
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
for s in book.sheets():
    print("#", s.name)
    for r in range(s.nrows):
        print("|".join(repr(c.value) for c in s.row(r)))' "$1" ;;
        *.mdb) for t in $(mdb-tables -1 "$1"); do echo "# $t"; mdb-export "$1" "$t"; done ;;
    esac
}
for f in absent.csv common.xls similar.mdb count.dbf sum.txt distinct.csv dedupe.xls length.csv \
         repeat.mdb query.csv update.csv delete.dbf; do
    [ -f "$tmp/win/$f" ] || fail "the window wrote no $f"
    [ -f "$tmp/cli/$f" ] || fail "the command line wrote no $f"
    case "$f" in
        *.xls | *.mdb)
            diff <(tables_of "$tmp/win/$f") <(tables_of "$tmp/cli/$f") >&2 ||
                fail "$f: the tables differ" ;;
        *)
            cmp "$tmp/win/$f" "$tmp/cli/$f" || fail "$f differs" ;;
    esac
done
tables_of "$tmp/cli/common.xls" >"$tmp/common.txt"
grep -q "'二'" "$tmp/common.txt" || fail "common.xls does not hold the common rows"

# Refusals: the window's message, exit status 1 (2 for usage), no output file.
expect() {
    local status="$1" message="$2" out="$3"
    shift 3
    set +e
    "${run[@]}" "$cli" "$@" 2>"$tmp/err"
    local got=$?
    set -e
    [ "$got" -eq "$status" ] || { cat "$tmp/err" >&2; fail "$* exited $got, not $status"; }
    grep -qF -- "$message" "$tmp/err" || { cat "$tmp/err" >&2; fail "$*: no “$message”"; }
    [ -z "$out" ] || [ ! -e "$out" ] || fail "$*: $out was left behind"
}
expect 2 "不认识的命令" "" frobnicate "$x"
expect 2 "缺少结果文件" "" count "$x:表一" --by 名称
expect 2 "不认识的选项" "" count "$x:表一" --by 名称 --bogus 1 -o "$tmp/cli/u.csv"
expect 1 "找不到文件" "$tmp/cli/missing.csv" count "$tmp/data/none.xls" --by 名称 -o "$tmp/cli/missing.csv"
expect 1 "中没有表“表九”" "$tmp/cli/sheet.csv" count "$x:表九" --by 名称 -o "$tmp/cli/sheet.csv"
expect 1 "还没有选择要合并相同行的列" "$tmp/cli/nocol.csv" count "$x:表一" --header -o "$tmp/cli/nocol.csv"
expect 1 "操作失败：" "$tmp/cli/refused.csv" query "$x:表一" --header --where "[1_1].没有 = 1" \
    --columns 1.名称 -o "$tmp/cli/refused.csv"
# A refused run leaves an existing output as it was.
printf 'keep\r\n' > "$tmp/cli/kept.csv"
expect 1 "操作失败：" "" query "$x:表一" --header --where "[1_1].没有 = 1" --columns 1.名称 \
    -o "$tmp/cli/kept.csv"
[ "$(cat "$tmp/cli/kept.csv")" = $'keep\r' ] || fail "a refused run changed the existing output"
"${run[@]}" "$cli" tables "$x" | diff - <(printf '表一\n表二\n') >&2 || fail "tables"
"${run[@]}" "$cli" columns "$x:表二" --header | diff - <(printf '编号\t双精度型数字\t8\n说明\t文本\t255\n') >&2 ||
    fail "columns"
echo "same as the window: ok"
