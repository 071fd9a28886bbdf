#!/usr/bin/env bash
# Writes dBASE files with the engine (dbf_write.test) and reads them back with python3-dbfread
# and with LibreOffice; both must give the expected rows.
# Usage: dbf_readback.sh QX_SQLTEST
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
sqltest="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
[ -n "${QX_KEEP:-}" ] && trap - EXIT && echo "output in $work"

"$sqltest" --tmp "$work" "$here/dbf_write.test" >/dev/null

status=0
check() {  # name, actual file, expected file
    if ! diff -u "$3" "$2"; then
        echo "FAIL: $1"
        status=1
    else
        echo "ok: $1"
    fi
}

for table in memo plain; do
    /usr/bin/python3 - "$work/$table.dbf" > "$work/$table.dbfread.txt" <<'PY'
import sys, dbfread
t = dbfread.DBF(sys.argv[1], encoding="gbk", char_decode_errors="strict")
print("|".join(f"{f.name}:{f.type}" for f in t.fields))
for r in t:
    print("|".join("" if v is None else str(v) for v in r.values()))
PY
    check "dbfread $table.dbf" "$work/$table.dbfread.txt" "$here/expected/$table.dbfread.txt"

    # LibreOffice takes the code page as an option (85: GBK); it writes the csv in UTF-8 (76).
    mkdir -p "$work/lo"
    HOME="$work" soffice --headless --infilter="dBase:85" \
        --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir "$work/lo" \
        "$work/$table.dbf" >/dev/null 2>&1
    check "LibreOffice $table.dbf" "$work/lo/$table.csv" "$here/expected/$table.libreoffice.csv"
done
exit $status
