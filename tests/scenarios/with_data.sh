#!/usr/bin/env bash
# with_data.sh RUNNER FILE.scn: runs a scenario with $TMP holding a copy of tests/data as
# $TMP/data, so that what the program writes beside a source (schema.ini) lands in the copy.
set -euo pipefail
runner="$1"
scn="$2"
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
cp -r "$here/../data" "$tmp/data"
cp -r "$here/../../../shared/fixtures" "$tmp/fixtures" 2>/dev/null || true
"$runner" --tmp "$tmp" "$scn"
