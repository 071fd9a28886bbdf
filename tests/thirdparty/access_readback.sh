#!/usr/bin/env bash
# Writes Access files as the save step does (qx_mdb_sample) and reads them back with mdbtools
# (mdb-ver, mdb-tables, mdb-schema, mdb-export), with the npm package mdb-reader, and with our
# own reader; every reader must give the values written.
# Usage: access_readback.sh QX_MDB_SAMPLE
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
sample="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
[ -n "${QX_KEEP:-}" ] && trap - EXIT && echo "output in $work"

if [ ! -d "$here/mdb-reader/node_modules/mdb-reader" ]; then
    (cd "$here/mdb-reader" && npm install --no-audit --no-fund --silent >/dev/null)
fi
"$sample" "$work" >/dev/null

status=0
check() {  # what, ok?
    if [ "$2" = 0 ]; then echo "ok: $1"; else echo "FAIL: $1"; status=1; fi
}
compare() {  # what, [--libmdb] actual expected
    local what="$1"
    shift
    if /usr/bin/python3 "$here/mdb_compare.py" "$@"; then check "$what" 0; else check "$what" 1; fi
}

declare -A tables=([empty]=空表 [types]=类型 [large]=大表)
for name in empty types large; do
    file="$work/$name.mdb"
    table="${tables[$name]}"
    [ "$(mdb-ver "$file")" = JET4 ]; check "mdb-ver $name" $?
    [ "$(mdb-tables -1 "$file")" = "$table" ]; check "mdb-tables $name" $?
    mdb-export -H -d $'\x1f' -Q -0 NULL -b hex -T '%Y-%m-%d %H:%M:%S' "$file" "$table" \
        > "$work/$name.mdbtools"
    compare "mdb-export $name" --libmdb "$work/$name.mdbtools" "$work/$name.expected"
    node "$here/mdb-reader/read.mjs" "$file" "$table" > "$work/$name.json"
    compare "mdb-reader $name" "$work/$name.json" "$work/$name.expected"
    compare "our reader $name" "$work/$name.ours" "$work/$name.expected"
done
mdb-schema -T 类型 "$work/types.mdb" 2>/dev/null | sed -n '/^CREATE/,/^);/p' > "$work/schema.txt"
diff -u "$here/expected/mdb-schema.txt" "$work/schema.txt"; check "mdb-schema types" $?
[ "$(node "$here/mdb-reader/read.mjs" "$work/empty.mdb")" = '["空表"]' ]; check "mdb-reader table list" $?
exit $status
