#!/usr/bin/env bash
# fuzz/campaign.sh SECONDS [TARGET...]: builds the fuzz targets with clang and libFuzzer (in
# build/fuzz) and runs each for SECONDS, seeded from its corpus and from the real files of
# tests/data; prints each target's executions and findings. A finding (crash-*, leak-*,
# timeout-*) is kept in build/fuzz/findings/TARGET/ to become a regression fixture.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:?usage: fuzz/campaign.sh SECONDS [TARGET...]}"
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
    targets=(dbf_reader_fuzz access_wire_fuzz mdb_reader_fuzz xlsx_reader_fuzz xls_reader_fuzz biff_reader_fuzz
             text_reader_fuzz xml_reader_fuzz)
build="$root/build/fuzz"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-Wno-error \
    -DQX_FUZZ=ON -DQX_BUILD_APP=OFF -DQX_BUILD_TESTS=OFF -DQX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
declare -A seeds=([dbf_reader_fuzz]=dbf [access_wire_fuzz]=access_wire [mdb_reader_fuzz]=mdb [xlsx_reader_fuzz]=xlsx
                  [xls_reader_fuzz]=xls [biff_reader_fuzz]=biff [text_reader_fuzz]=text
                  [xml_reader_fuzz]=xml)
declare -A extra=([xlsx_reader_fuzz]="excel corpus/xlsx" [biff_reader_fuzz]="excel corpus/xls"
                  [xls_reader_fuzz]="corpus/xls" [dbf_reader_fuzz]="dbase"
                  [mdb_reader_fuzz]="access corpus/mdb")
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    findings="$build/findings/$t"
    mkdir -p "$corpus" "$findings"
    cp -n "$root/fuzz/corpus/${seeds[$t]}"/* "$corpus/" 2>/dev/null || true
    for d in ${extra[$t]:-}; do
        find "$root/tests/data/$d" -maxdepth 1 -type f -size -1M -exec cp -n {} "$corpus/" \; 2>/dev/null || true
    done
    log="$findings/run.log"
    # The CPU time the fuzzer used (user and system), as the kernel counted it.
    (cd "$findings" && /usr/bin/time -f '%U %S' -o "$findings/cpu" "$build/$t" \
        -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=20 "$corpus" >"$log" 2>&1) || true
    cpu=$(awk '/^[0-9.]+ [0-9.]+$/ { printf "%d", $1 + $2 }' "$findings/cpu")
    runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
    found=$(find "$findings" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' \
        -o -maxdepth 1 -name 'timeout-*' | wc -l)
    echo "$t: ${runs} executions in ${seconds} s (${cpu} CPU seconds), ${found} findings," \
        "corpus $(find "$corpus" -type f | wc -l) inputs"
done
