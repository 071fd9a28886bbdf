#!/usr/bin/env bash
# disk_full.sh QUILLEX_CLI SHIM: the disk fills up (the LD_PRELOAD shim fails the writes into one
# folder after a number of bytes) while a result is exported in each of the six kinds, and while
# a table is read into the working database. Each time the command fails with a message that
# says the disk is full, the old output is whole and as it was, and no staging file is left.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cli="$(realpath "$1")"
shim="$(realpath "$2")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "disk_full: $*" >&2; exit 1; }

/usr/bin/python3 "$here/make_tables.py" 20000 11 --unique

# Runs the command line on a disk that is full after $1 bytes written under $2.
on_full_disk() {
    local after="$1" under="$2"
    shift 2
    LD_PRELOAD="$shim" QX_FULL_PATH="$under" QX_FULL_AFTER="$after" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" "$cli" "$@"
}

# Exports: nothing fits, part of the first writes, part of the rows, most of the file.
for k in csv txt dbf xls xlsx mdb; do
    rm -rf out && mkdir out
    src=csv
    [ "$k" = xlsx ] && src=xlsx
    "$cli" distinct "small.$src" --count 3 -o "out/结果.$k" --quiet
    # The old output, byte for byte (with its memo file), and the folder's files.
    old="$(cd out && ls -A | sort && sha1sum ./*)"
    failures=0
    for after in 0 300 5000 150000 600000; do
        rc=0
        on_full_disk "$after" "$work/out/" distinct "big.$src" --count 3 -o "out/结果.$k" --quiet \
            2>err.txt || rc=$?
        if [ "$rc" -eq 0 ]; then
            continue  # the whole file fitted
        fi
        failures=$((failures + 1))
        [ "$rc" -eq 1 ] || fail "$k after $after bytes: exit status $rc"
        grep -q "磁盘已满" err.txt || fail "$k after $after bytes: the message is: $(cat err.txt)"
        [ "$(cd out && ls -A | sort && sha1sum ./*)" = "$old" ] ||
            fail "$k after $after bytes: the old output is not as it was, or files were left:" \
                "$(cd out && ls -A | tr '\n' ' ')"
    done
    [ "$failures" -ge 3 ] || fail "$k: only $failures of the exports met the full disk"
    # The same export on a disk with room works.
    "$cli" distinct "big.$src" --count 3 -o "out/结果.$k" --quiet ||
        fail "$k: the export fails with room on the disk"
done

# Reads into the working database: the template, the first pages, the table's rows.
mkdir wd
for after in 0 20000 300000; do
    rc=0
    on_full_disk "$after" "$work/wd/" distinct big.csv --count 3 --workdir "$work/wd" \
        -o "$work/read.csv" --quiet 2>err.txt || rc=$?
    [ "$rc" -eq 1 ] || fail "read with $after bytes free: exit status $rc"
    grep -q "读入失败" err.txt && grep -q "磁盘已满" err.txt ||
        fail "read with $after bytes free: the message is: $(cat err.txt)"
    [ ! -e "$work/read.csv" ] || fail "read with $after bytes free: a result was written"
    [ -z "$(find wd -name '.*' -print -quit)" ] || fail "read with $after bytes free: staging left"
done

# No room even for the run's own folder in the temporary folder: a message, no result, and the
# temporary folder's other files as they were.
mkdir -p tmp/sub && echo keep >tmp/keep.txt && echo keep >tmp/sub/keep.txt
rc=0
TMPDIR="$work/tmp" on_full_disk 0 "$work/tmp/" distinct small.csv --count 3 -o "$work/tmp.csv" \
    --quiet 2>err.txt || rc=$?
[ "$rc" -eq 1 ] || fail "no room for the run's folder: exit status $rc"
grep -q "临时工作文件夹.*磁盘已满" err.txt || fail "no room for the run's folder: $(cat err.txt)"
[ -f tmp/keep.txt ] && [ -f tmp/sub/keep.txt ] || fail "the temporary folder's files were removed"
[ ! -e "$work/tmp.csv" ] || fail "no room for the run's folder, yet a result was written"
echo "disk_full: every export and read on a full disk failed cleanly"
