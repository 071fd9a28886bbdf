#!/usr/bin/env bash
# run.sh READER FOLDER [--strict] [--xlsx|--mdb|--dbf]: every file of one kind in FOLDER (.xls by
# default) read by our reader (qx_xls_reader, qx_xlsx_dump, qx_mdb_dump, qx_dbf_dump) and by a
# reference reader (xlrd, openpyxl, mdb-export, dbfread), the first worksheet (every Access
# table, the dBASE table) compared value by value. Prints one line per file and, per kind, the
# files read, refused with a message, crashed and hung, and those identical. Fetches nothing. A
# crash or a hang fails; with --strict (as CI runs it on tests/data/corpus) so does a file the
# reference reads that we refuse or read otherwise.
set -euo pipefail
helper="$1"
folder="$2"
shift 2
here="$(cd "$(dirname "$0")" && pwd)"
shopt -s nullglob nocaseglob
ext=xls
script=xls_compare.py
for a in "$@"; do
    case "$a" in
        --xlsx) ext=xlsx ;;
        --mdb) ext=mdb script=mdb_compare.py ;;
        --dbf) ext=dbf script=dbf_compare.py ;;
    esac
done
files=("$folder"/*."$ext")
[ ${#files[@]} -gt 0 ] || { echo "run.sh: no .$ext file in $folder" >&2; exit 1; }
args=()
for a in "$@"; do
    case "$a" in --mdb | --dbf) ;; *) args+=("$a") ;; esac
done
/usr/bin/python3 "$here/$script" "$helper" "${args[@]}" "${files[@]}" 2>/dev/null
