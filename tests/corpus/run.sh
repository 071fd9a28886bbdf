#!/usr/bin/env bash
# run.sh XLS_HELPER FOLDER: every .xls workbook of FOLDER read by our reader and by xlrd, the
# first worksheet compared cell by cell (xls_compare.py). Fetches nothing. With --strict (as CI
# runs it on tests/data/corpus), a workbook xlrd reads that we refuse or read otherwise fails.
set -euo pipefail
helper="$1"
folder="$2"
shift 2
here="$(cd "$(dirname "$0")" && pwd)"
shopt -s nullglob nocaseglob
files=("$folder"/*.xls)
[ ${#files[@]} -gt 0 ] || { echo "run.sh: no .xls file in $folder" >&2; exit 1; }
/usr/bin/python3 "$here/xls_compare.py" "$helper" "$@" "${files[@]}" 2>/dev/null
