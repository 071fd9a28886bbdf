#!/usr/bin/env bash
# lines_same.sh LINUX_LINES WINDOWS_LINES: every line operation of quillex-lines run by the Linux
# program and by the Windows one (under scripts/windows/wine-run) on the same inputs (GBK, UTF-8
# with and without a BOM, UTF-16 in both byte orders; CRLF and LF; Chinese file names) leaves the
# same files, byte for byte: the results beside the sources and the sources rewritten in place.
set -euo pipefail
linux="$(realpath "$1")"
windows="$(realpath "$2")"
here="$(cd "$(dirname "$0")" && pwd)"
wine_run="$here/../../scripts/windows/wine-run"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "lines_same: $*" >&2; exit 1; }

# The inputs, in one folder, copied for each side.
mkdir -p "$tmp/in"
a=$'张三\r\n李四\r\n  王五  \r\n\r\n"赵六"\r\n张三\r\nabc\r\nABC\r\n'
b=$'李四\r\n赵六\r\nabc\r\n钱七\r\n'
printf '%s' "$a" >"$tmp/in/客户A.txt"
printf '%s' "$b" >"$tmp/in/客户B.txt"
printf '%s' "$a" | iconv -f UTF-8 -t GBK >"$tmp/in/名单甲.txt"
printf '%s' "$b" | iconv -f UTF-8 -t GBK >"$tmp/in/名单乙.txt"
printf '\xEF\xBB\xBF%s' "${a//$'\r'/}" >"$tmp/in/带BOM.txt"
printf '%s' "${b//$'\r'/}" >"$tmp/in/无BOM.txt"
{ printf '\xFF\xFE'; printf '%s' "$a" | iconv -f UTF-8 -t UTF-16LE; } >"$tmp/in/宽字符甲.txt"
{ printf '\xFF\xFE'; printf '%s' "$b" | iconv -f UTF-8 -t UTF-16LE; } >"$tmp/in/宽字符乙.txt"
{ printf '\xFE\xFF'; printf '%s' "$a" | iconv -f UTF-8 -t UTF-16BE; } >"$tmp/in/大端.txt"
pairs=("客户A.txt 客户B.txt" "名单甲.txt 名单乙.txt" "带BOM.txt 无BOM.txt" "宽字符甲.txt 宽字符乙.txt"
    "大端.txt 客户B.txt")

for side in linux windows; do
    cp -r "$tmp/in" "$tmp/$side"
    if [ "$side" = linux ]; then run=("$linux"); else run=("$wine_run" "$windows"); fi
    for p in "${pairs[@]}"; do
        read -r x y <<<"$p"
        for op in common a-not-b b-not-a merge; do
            (cd "$tmp/$side" && "${run[@]}" "$op" "$x" "$y" >/dev/null) ||
                fail "$side: $op $x $y failed"
        done
        (cd "$tmp/$side" && "${run[@]}" dedupe "$x" >/dev/null) || fail "$side: dedupe $x failed"
    done
    for f in 客户A.txt 名单甲.txt 带BOM.txt 宽字符甲.txt 大端.txt; do
        (cd "$tmp/$side" && "${run[@]}" unquote "$f" >/dev/null && "${run[@]}" trim "$f" >/dev/null) ||
            fail "$side: unquote and trim $f failed"
    done
done

(cd "$tmp/linux" && find . -type f | sort) >"$tmp/linux.list"
(cd "$tmp/windows" && find . -type f | sort) >"$tmp/windows.list"
diff "$tmp/linux.list" "$tmp/windows.list" >&2 || fail "the two sides left different files"
[ "$(wc -l <"$tmp/linux.list")" -gt 30 ] || fail "too few result files: $(wc -l <"$tmp/linux.list")"
while IFS= read -r f; do
    cmp "$tmp/linux/$f" "$tmp/windows/$f" >&2 || fail "$f differs"
done <"$tmp/linux.list"
echo "line operations, Linux and Windows: $(wc -l <"$tmp/linux.list") files the same"
