#!/usr/bin/env bash
# installer.sh SETUP.exe LINUX_CLI: the setup program on a Windows of its own (a fresh Wine
# prefix): installed silently, its registry entries ("Open with" offered for the six kinds, never
# the default program of a kind; the uninstall entry), the installed quillex-cli.exe giving the
# Linux program's result on a comparison, the installed quillex.exe started on a file with a
# Chinese name (its working folder in %LOCALAPPDATA%\Quillex, not in Program Files); then
# uninstalled silently, leaving no file, no key and no working folder behind.
set -euo pipefail
setup="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
linux_cli="$(realpath "$2")"
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
export QX_WINE_PREFIX="$tmp/prefix"
run=("$here/../../scripts/windows/wine-run")
cleanup() {
    WINEPREFIX="$QX_WINE_PREFIX" wineserver -k 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "installer: $*" >&2; exit 1; }
drive_c="$QX_WINE_PREFIX/drive_c"
app="$drive_c/Program Files/Quillex"
key() { "${run[@]}" reg query "$@" 2>/dev/null | tr -d '\r'; }

# A user's own default program for .csv stays the default.
"${run[@]}" reg add 'HKLM\Software\Classes\.csv' /ve /d 'OtherApp.csv' /f >/dev/null
"${run[@]}" "$setup" /S
WINEPREFIX="$QX_WINE_PREFIX" wineserver -w
for f in quillex.exe quillex-cli.exe quillex-lines.exe uninstall.exe Qt6Core.dll \
    platforms/qwindows.dll translations/qtbase_zh_CN.qm; do
    [ -f "$app/$f" ] || fail "not installed: $f"
done
[ -f "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillex.lnk" ] ||
    fail "no Start-menu entry"
key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillex' /v UninstallString |
    grep -q 'uninstall.exe' || fail "no uninstall entry"
key 'HKLM\Software\Classes\Applications\quillex.exe\shell\open\command' /ve |
    grep -q 'quillex.exe" "%1"' || fail "no open command for Open with"
for ext in dbf xls xlsx csv txt mdb; do
    key "HKLM\\Software\\Classes\\.$ext\\OpenWithProgids" /v "Quillex.$ext" >/dev/null ||
        fail ".$ext is not offered to Quillex"
    key "HKLM\\Software\\Classes\\Applications\\quillex.exe\\SupportedTypes" /v ".$ext" >/dev/null ||
        fail ".$ext is not among the supported types"
    key "HKLM\\Software\\Classes\\.$ext" /ve | grep -q "Quillex" && fail ".$ext was taken over"
done
key 'HKLM\Software\Classes\.csv' /ve | grep -q 'OtherApp.csv' || fail "the user's .csv default was changed"

# The installed command line, on a comparison, gives what the Linux program gives.
mkdir -p "$tmp/work"
printf '1,甲\r\n2,乙\r\n3,丙\r\n' >"$tmp/work/本月.csv"
printf '2,乙\r\n4,丁\r\n' >"$tmp/work/上月.csv"
args=(absent 本月.csv 上月.csv --count 2 --key1 F1 --key2 F1 --columns A.F1,A.F2 --quiet)
(cd "$tmp/work" && "$linux_cli" "${args[@]}" -o linux.csv)
(cd "$tmp/work" && "${run[@]}" 'C:\Program Files\Quillex\quillex-cli.exe' "${args[@]}" -o 新客户.csv)
cmp "$tmp/work/linux.csv" "$tmp/work/新客户.csv" || fail "the installed quillex-cli.exe differs"

# The installed window program on a file with a Chinese name: it keeps running, and its
# working folder is the user's, not Program Files.
(cd "$tmp/work" && "${run[@]}" 'C:\Program Files\Quillex\quillex.exe' 'Z:'"${tmp//\//\\}"'\work\本月.csv' &)
local_app="$(find "$drive_c/users" -maxdepth 4 -type d -path '*AppData/Local' | head -1)"
[ -n "$local_app" ] || fail "no AppData\\Local in the prefix"
for _ in $(seq 60); do
    [ -e "$local_app/Quillex/quillex.lock" ] && break
    sleep 1
done
[ -e "$local_app/Quillex/quillex.lock" ] || fail "the installed program made no lock in %LOCALAPPDATA%\\Quillex"
[ ! -e "$app/quillex.lock" ] || fail "the installed program worked in Program Files"
sleep 3
pgrep -f 'quillex.exe' >/dev/null || fail "quillex.exe did not keep running"
WINEPREFIX="$QX_WINE_PREFIX" wineserver -k
WINEPREFIX="$QX_WINE_PREFIX" wineserver -w

"${run[@]}" 'C:\Program Files\Quillex\uninstall.exe' /S
WINEPREFIX="$QX_WINE_PREFIX" wineserver -w
sleep 2
WINEPREFIX="$QX_WINE_PREFIX" wineserver -w
[ ! -e "$app" ] || fail "Program Files\\Quillex is left: $(cd "$app" && find . | head -5)"
[ ! -e "$local_app/Quillex" ] || fail "%LOCALAPPDATA%\\Quillex is left"
[ ! -e "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillex.lnk" ] ||
    fail "the Start-menu entry is left"
key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillex' >/dev/null &&
    fail "the uninstall entry is left"
key 'HKLM\Software\Classes\Applications\quillex.exe' >/dev/null && fail "the application key is left"
for ext in dbf xls xlsx csv txt mdb; do
    key "HKLM\\Software\\Classes\\Quillex.$ext" >/dev/null && fail "Quillex.$ext is left"
    key "HKLM\\Software\\Classes\\.$ext\\OpenWithProgids" /v "Quillex.$ext" >/dev/null &&
        fail ".$ext still offers Quillex"
done
key 'HKLM\Software\Classes\.csv' /ve | grep -q 'OtherApp.csv' || fail "the user's .csv default was lost"
echo "installer: installed, used and uninstalled cleanly"
