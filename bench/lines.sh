#!/usr/bin/env bash
# bench/lines.sh [LINES]: the line operations on two generated files of LINES lines (default
# 1,000,000, about 25 MB each, Chinese and ASCII values, half of them shared, many repeated),
# against the standard tools on the same files in the same run: de-duplication against
# `sort -u` (C locale), A without B against `grep -Fxv -f B A`. Prints the times, the ratios
# and the peak memory of ours against the input size.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
lines="${1:-1000000}"
"$root/scripts/setup"
"$root/scripts/build" release --target quillex-lines >/dev/null
bin="$root/build/release/quillex-lines"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" "$lines" <<'PY'
import random, sys
work, n = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
words = ["客户", "供应商", "订单", "Client", "store", "北京", "上海", "Item"]
def value(i):
    return words[i % len(words)] + "-" + str(i * 7919) + ("号" if i % 3 == 0 else "") + ("X" if i % 5 == 0 else "x") + "-备注"
# A takes values 0 … n/2 (each about twice), B values n/4 … 3n/4: half of each is shared.
with open(f"{work}/A.txt", "w", encoding="utf-8", newline="\r\n") as a:
    for _ in range(n):
        a.write(value(rnd.randrange(n // 2)) + "\n")
with open(f"{work}/B.txt", "w", encoding="utf-8", newline="\r\n") as b:
    for _ in range(n):
        b.write(value(n // 4 + rnd.randrange(n // 2)) + "\n")
PY

# Best of three runs; prints seconds and, for ours, the peak resident size in KiB.
best_of_three() {
    local best="" peak=0
    for _ in 1 2 3; do
        local start end t
        start=$(date +%s.%N)
        /usr/bin/time -f '%M' -o "$work/mem" "$@" >/dev/null
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" -eq 1 ]; then best=$t; fi
        peak=$(cat "$work/mem")
    done
    echo "$best $peak"
}

size=$(stat -c %s "$work/A.txt")
read -r ours_d mem_d < <(best_of_three "$bin" dedupe "$work/A.txt")
read -r peer_d _ < <(best_of_three env LC_ALL=C sort -u "$work/A.txt" -o "$work/sorted.txt")
read -r ours_n mem_n < <(best_of_three "$bin" a-not-b "$work/A.txt" "$work/B.txt")
# grep -f with a million patterns takes long: one run is enough for a ratio this wide.
start=$(date +%s.%N)
grep -Fxv -f "$work/B.txt" "$work/A.txt" > "$work/grep.txt" || true
peer_n=$(echo "$(date +%s.%N) - $start" | bc -l)

printf 'lines per file: %s, input %.1f MB\n' "$lines" "$(echo "$size / 1000000" | bc -l)"
printf 'de-duplicate: ours %.3fs, sort -u %.3fs, ratio %.2f, peak memory %.1f × input\n' \
    "$ours_d" "$peer_d" "$(echo "$ours_d / $peer_d" | bc -l)" "$(echo "$mem_d * 1024 / $size" | bc -l)"
printf 'A without B: ours %.3fs, grep -Fxv %.3fs, ratio %.3f, peak memory %.1f × input\n' \
    "$ours_n" "$peer_n" "$(echo "$ours_n / $peer_n" | bc -l)" "$(echo "$mem_n * 1024 / (2 * $size)" | bc -l)"
