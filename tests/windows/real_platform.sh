#!/usr/bin/env bash
# real_platform.sh QX_SCREENSHOT.exe: the window on Windows' own platform plugin ("windows",
# drawing through Wine's X11 driver on Xvfb) against the offscreen one the other tests use: the
# same pictures, every window the same size, and no caption clipped there that is whole offscreen.
set -euo pipefail
shot="$1"
here="$(cd "$(dirname "$0")" && pwd)"
run="$here/../../scripts/windows/wine-run"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "real_platform: $*" >&2; exit 1; }

QT_QPA_PLATFORM=offscreen "$run" "$shot" "$tmp/offscreen" >"$tmp/offscreen.log" 2>&1 ||
    { cat "$tmp/offscreen.log" >&2; fail "offscreen pictures"; }
QX_WINE_DISPLAY=1 QT_QPA_PLATFORM=windows xvfb-run -a -s '-screen 0 1600x1200x24' \
    "$run" "$shot" "$tmp/windows" >"$tmp/windows.log" 2>&1 ||
    { cat "$tmp/windows.log" >&2; fail "pictures on the windows platform"; }
# Each picture's size from its PNG header.
sizes() {
    for f in "$1"/*.png; do
        printf '%s %s\n' "$(basename "$f")" "$(od -An -tu1 -j16 -N8 "$f" | awk '{print $3*256+$4 "x" $7*256+$8}')"
    done | sort
}
sizes "$tmp/offscreen" >"$tmp/offscreen.sizes"
sizes "$tmp/windows" >"$tmp/windows.sizes"
[ "$(wc -l <"$tmp/offscreen.sizes")" -gt 20 ] || fail "too few pictures: $(cat "$tmp/offscreen.log")"
diff "$tmp/offscreen.sizes" "$tmp/windows.sizes" >&2 || fail "the windows differ in size"
# Clipped captions: picture and caption, without the widths.
cut -f1,2 "$tmp/offscreen/clipped.txt" | sort >"$tmp/offscreen.clipped"
cut -f1,2 "$tmp/windows/clipped.txt" | sort >"$tmp/windows.clipped"
new="$(comm -13 "$tmp/offscreen.clipped" "$tmp/windows.clipped")"
[ -z "$new" ] || { grep -F "$new" "$tmp/windows/clipped.txt" >&2; fail "captions clipped on Windows"; }
[ -n "${QX_SCREENSHOTS:-}" ] && cp -r "$tmp/windows" "$tmp/offscreen" "$QX_SCREENSHOTS/"
echo "windows platform: $(wc -l <"$tmp/windows.sizes") pictures as offscreen, $(wc -l <"$tmp/windows.clipped") captions clipped on both"
