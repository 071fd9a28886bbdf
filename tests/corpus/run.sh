#!/usr/bin/env bash
# run.sh READER FOLDER [--strict] [--xlsx]: every .xls workbook of FOLDER (.xlsx with --xlsx)
# read by our reader (qx_xls_reader, qx_xlsx_dump) and by a reference reader (xlrd, openpyxl),
# the first worksheet compared cell by cell (xls_compare.py). Fetches nothing. With --strict (as
# CI runs it on tests/data/corpus), a workbook the reference reads that we refuse or read
# otherwise fails.
set -euo pipefail
helper="$1"
folder="$2"
shift 2
here="$(cd "$(dirname "$0")" && pwd)"
shopt -s nullglob nocaseglob
ext=xls
for a in "$@"; do [ "$a" = --xlsx ] && ext=xlsx; done
files=("$folder"/*."$ext")
[ ${#files[@]} -gt 0 ] || { echo "run.sh: no .$ext file in $folder" >&2; exit 1; }
/usr/bin/python3 "$here/xls_compare.py" "$helper" "$@" "${files[@]}" 2>/dev/null
