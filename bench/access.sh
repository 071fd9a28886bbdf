#!/usr/bin/env bash
# bench/access.sh [ROWS]: a table of ROWS rows × 5 columns (default 1,000,000) saved as .mdb
# against the same table saved as .csv by the Text driver, in one run; prints the ratio.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup"
"$root/scripts/build" release --target qx_bench_access >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/build/release/qx_bench_access" "$work" "${1:-1000000}"
