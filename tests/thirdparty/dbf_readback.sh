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
# The engine's own dBASE tests write more files; every one must be readable by both programs.
mkdir -p "$work/engine"
"$sqltest" --tmp "$work/engine" "$here/../sql/dbase.test" >/dev/null

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
for file in "$work"/engine/*.dbf; do
    rows=$(/usr/bin/python3 - "$file" <<'PY'
import sys, dbfread
t = dbfread.DBF(sys.argv[1], encoding="gbk", char_decode_errors="strict")
# Rows with a value: LibreOffice leaves trailing empty rows out of its csv.
print(sum(1 for r in t if any(v not in (None, "") for v in r.values())))
PY
) || { echo "FAIL: dbfread cannot read $(basename "$file")"; status=1; continue; }
    rm -rf "$work/lo-engine"
    HOME="$work" soffice --headless --infilter="dBase:85" \
        --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir "$work/lo-engine" \
        "$file" >/dev/null 2>&1
    csv="$work/lo-engine/$(basename "${file%.dbf}").csv"
    lines=$( [ -f "$csv" ] && grep -cv '^[,"]*$' "$csv" || echo 0)
    if [ "$lines" -ne $((rows + 1)) ]; then
        echo "FAIL: LibreOffice reads $((lines - 1)) rows of $(basename "$file"), dbfread $rows"
        status=1
    else
        echo "ok: $(basename "$file") read by dbfread and LibreOffice ($rows rows)"
    fi
done
exit $status
