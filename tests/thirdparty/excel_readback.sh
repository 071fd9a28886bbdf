#!/usr/bin/env bash
# Writes workbooks with the engine (excel_write.test) and reads them back with python3-xlrd
# (.xls), python3-openpyxl (.xlsx) and LibreOffice (both); all must give the expected values.
# Usage: excel_readback.sh QX_SQLTEST
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
sqltest="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
[ -n "${QX_KEEP:-}" ] && trap - EXIT && echo "output in $work"

"$sqltest" --tmp "$work" "$here/excel_write.test" >/dev/null
# The engine's own Excel tests write more workbooks; each is read back too.
mkdir -p "$work/engine"
"$sqltest" --tmp "$work/engine" "$here/../sql/excel.test" >/dev/null

status=0
check() {  # name, actual file, expected file
    diff -u "$3" "$2" || true
    if cmp -s "$3" "$2"; then echo "ok: $1"; else echo "FAIL: $1"; status=1; fi
}

/usr/bin/python3 - "$work/out.xls" > "$work/xlrd.txt" <<'PY'
import sys, xlrd, datetime
book = xlrd.open_workbook(sys.argv[1])
for sheet in book.sheets():
    print("sheet", sheet.name)
    for r in range(sheet.nrows):
        out = []
        for c in sheet.row(r):
            if c.ctype == xlrd.XL_CELL_DATE:
                out.append(datetime.datetime(*xlrd.xldate_as_tuple(c.value, book.datemode)).isoformat(" "))
            elif c.ctype == xlrd.XL_CELL_BOOLEAN:
                out.append("TRUE" if c.value else "FALSE")
            elif c.ctype == xlrd.XL_CELL_NUMBER:
                out.append(repr(c.value))
            elif c.ctype == xlrd.XL_CELL_TEXT:
                out.append(c.value if len(c.value) < 60 else f"{c.value[:10]}…({len(c.value)})")
            else:
                out.append("")
        print("|".join(out))
PY
check "xlrd out.xls" "$work/xlrd.txt" "$here/expected/xlrd.txt"

/usr/bin/python3 - "$work/out.xlsx" > "$work/openpyxl.txt" <<'PY'
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
for sheet in book.worksheets:
    print("sheet", sheet.title)
    for row in sheet.iter_rows():
        out = []
        for c in row:
            v = c.value
            if v is None: out.append("")
            elif isinstance(v, bool): out.append("TRUE" if v else "FALSE")
            elif isinstance(v, (int, float)): out.append(repr(float(v)))
            elif isinstance(v, str): out.append(v if len(v) < 60 else f"{v[:10]}…({len(v)})")
            else: out.append(v.isoformat(" "))
        print("|".join(out))
PY
check "openpyxl out.xlsx" "$work/openpyxl.txt" "$here/expected/openpyxl.txt"

for file in out.xls out.xlsx; do
    rm -rf "$work/lo"
    HOME="$work" soffice --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' \
        --outdir "$work/lo" "$work/$file" >/dev/null 2>&1
    /usr/bin/python3 - "$work"/lo/*.csv > "$work/lo-$file.txt" <<'PY' || true
import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    for row in csv.reader(f):
        print("|".join(v if len(v) < 60 else f"{v[:10]}…({len(v)})" for v in row))
PY
    check "LibreOffice $file" "$work/lo-$file.txt" "$here/expected/libreoffice-$file.txt"
done
/usr/bin/python3 - "$work"/engine/*.xls "$work"/engine/*.xlsx > "$work/engine.txt" <<'PY'
import os, sys, xlrd, openpyxl
for path in sorted(sys.argv[1:]):
    name = os.path.basename(path)
    if path.endswith(".xls"):
        book = xlrd.open_workbook(path)
        sheets = [(s.name, s.nrows, s.row_values(0)) for s in book.sheets()]
    else:
        book = openpyxl.load_workbook(path, read_only=True)
        sheets = []
        for ws in book.worksheets:
            rows = list(ws.iter_rows(values_only=True))
            sheets.append((ws.title, len(rows), list(rows[0]) if rows else []))
    for title, count, head in sheets:
        print(f"{name}|{title}|{count}|{'/'.join(str(v) for v in head)}")
PY
check "workbooks of the engine tests" "$work/engine.txt" "$here/expected/engine-workbooks.txt"
exit $status
