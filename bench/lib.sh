# Shared by the benchmark scripts (sourced).

# best_of_three PREPARE COMMAND...: three times, PREPARE (a function of the calling script that
# puts fresh copies of the data in place) and then COMMAND, timed; prints the best time in
# seconds.
best_of_three() {
    local prepare="$1"
    shift
    local best=""
    for _ in 1 2 3; do
        "$prepare"
        sync
        local start end t
        start=$(date +%s.%N)
        "$@" >/dev/null
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" -eq 1 ]; then best=$t; fi
    done
    echo "$best"
}
