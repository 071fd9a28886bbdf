#!/usr/bin/env bash
# starts_once.sh PROGRAM [ARGS...]: the program runs as the one process it was started as: it
# does not start itself again (which would double its start-up, confuse process monitors and
# debuggers, and change the environment its children inherit). A program that keeps running (the
# window) is ended after a few seconds; what counts is how often it was executed.
set -euo pipefail
program="$1"
shift
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
env QT_QPA_PLATFORM=offscreen timeout 8 strace -f -qq -e trace=execve -o "$log" "$program" "$@" \
    >/dev/null 2>&1 || true
name="$(basename "$program")"
# Every program executed from the start on: the program itself, and nothing after it (a
# program starting itself again goes through /proc/self/exe, a helper would show here too).
runs=$(grep -c 'execve(.*= 0$' "$log" || true)
if [ "$runs" -ne 1 ]; then
    echo "$name was executed $runs times:" >&2
    cat "$log" >&2
    exit 1
fi
echo "$name: executed once"
