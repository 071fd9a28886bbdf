#!/usr/bin/env bash
# check_package.sh DEB SCENARIO_RUNNER: checks the built package without installing it: the files
# it ships, its dependencies, the desktop entry and the AppStream metainfo; then runs what it
# ships from a folder extracted with dpkg -x that the program cannot write to (as another user
# when run as root), with a scenario through its window.
set -euo pipefail
deb="$(realpath "$1")"
runner="$(realpath "$2")"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

dpkg-deb -c "$deb" | awk '{print $NF}' > "$work/files"
app=example.quillex.Quillex
for f in ./usr/bin/quillex ./usr/bin/quillex-lines ./usr/bin/quillex-cli \
         ./usr/libexec/quillex/qx_xls_reader \
         ./usr/share/applications/$app.desktop ./usr/share/metainfo/$app.metainfo.xml \
         ./usr/share/icons/hicolor/16x16/apps/quillex.png \
         ./usr/share/icons/hicolor/48x48/apps/quillex.png \
         ./usr/share/icons/hicolor/256x256/apps/quillex.png \
         ./usr/share/icons/hicolor/scalable/apps/quillex.svg \
         ./usr/share/man/man1/quillex.1.gz ./usr/share/man/man1/quillex-lines.1.gz; do
    grep -qxF "$f" "$work/files" || fail "the package lacks $f"
done
grep -qxF ./usr/share/man/man1/quillex-cli.1.gz "$work/files" || fail "quillex-cli without its manual page"
[ "$(dpkg-deb -f "$deb" Package)" = quillex ] || fail "the package is not named quillex"
depends="$(dpkg-deb -f "$deb" Depends)"
for d in libqt6widgets6 libsqlite3 qt6-qpa-plugins; do
    [[ "$depends" == *"$d"* ]] || fail "Depends lacks $d: $depends"
done
# Access files are read by our own reader: neither libmdb nor its glib.
[[ "$depends" != *libmdb* && "$depends" != *mdbtools* ]] || fail "Depends names libmdb: $depends"
grep -qx ./usr/libexec/quillex/qx_mdb_reader "$work/files" && fail "the package ships the old Access helper"

root="$work/root"
dpkg -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$app.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" >/dev/null
"$root/usr/bin/quillex-lines" --version | grep -q '^quillex-lines (Quillex) [0-9]' ||
    fail "quillex-lines --version"
"$root/usr/bin/quillex" --version | grep -q '^Quillex [0-9]' || fail "quillex --version"
"$root/usr/bin/quillex-cli" --version | grep -q '^quillex-cli (Quillex) [0-9]' ||
    fail "quillex-cli --version"
# The command line, installed, finds its reading helper in libexec.
"$root/usr/bin/quillex-cli" tables "$here/../data/excel/xlwt_two.xls" >"$work/tables.txt"
grep -qx '表一' "$work/tables.txt" ||
    fail "quillex-cli tables through the installed helper"

# The scenario, with the folder of the extracted program not writable for the one running it.
tmp="$work/tmp"
mkdir -p "$tmp/home"
cp -r "$here/../data" "$tmp/data"
cp "$runner" "$work/qx_scenario"
run=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$tmp"
    chmod 755 "$work"
    run=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
    chmod -R a-w "$root/usr"
fi
env -u XDG_DATA_HOME HOME="$tmp/home" QT_QPA_PLATFORM=offscreen "${run[@]}" \
    "$work/qx_scenario" --as-program "$root/usr/bin/quillex" --tmp "$tmp" "$here/installed.scn" \
    || fail "the scenario against the extracted program"
[ "$(id -u)" -eq 0 ] || chmod -R u+w "$root/usr"
echo "package: ok ($(basename "$deb"))"
