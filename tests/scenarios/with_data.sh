#!/usr/bin/env bash
# with_data.sh RUNNER FILE.scn: runs a scenario with $TMP holding a copy of tests/data as
# $TMP/data, so that what the program writes beside a source (schema.ini) lands in the copy.
# QX_RUN, when set, runs the program (scripts/windows/wine-run for the Windows build).
set -euo pipefail
runner="$1"
scn="$2"
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
cp -r "$here/../data" "$tmp/data"
cp -r "$here/../../../shared/fixtures" "$tmp/fixtures" 2>/dev/null || true
run=(${QX_RUN:+"$QX_RUN"})
"${run[@]}" "$runner" --tmp "$tmp" "$scn"
