#!/usr/bin/env bash
# tests/windows/run.sh: the Windows suite under Wine. Cross-builds every program and test program
# (scripts/build windows), then runs, headless: CTest over the Windows build (the unit and widget
# tests, the SQL test files, the scenarios through the real window, the command line against the
# window), the line operations byte for byte against the Linux program, the window on the real
# "windows" platform plugin under Xvfb, and the setup program installed, used and uninstalled.
# Needs the Linux release build (scripts/package makes it) for the comparisons.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/setup windows
start=$(date +%s)
scripts/build windows
scripts/package windows >/dev/null
echo "windows: built in $(($(date +%s) - start)) s"
# One Wine server for the whole run: a test that starts while the last one's server is shutting
# down fails at once.
# Wine's own services start with the server and keep the descriptors they are given: they are
# started here with none of the tests' output pipes, which CTest would otherwise wait on.
prefix="$PWD/build/windows/wine"
scripts/windows/wine-run cmd /c exit 0 </dev/null >/dev/null 2>&1
WINEPREFIX="$prefix" wineserver -w
WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1 &
scripts/windows/wine-run cmd /c exit 0 </dev/null >/dev/null 2>&1
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true' EXIT
ctest --test-dir build/windows --output-on-failure -j2 --timeout 900
tests/windows/lines_same.sh build/release/quillex-lines build/windows/quillex-lines.exe
tests/windows/real_platform.sh build/windows/qx_screenshot.exe
version="$(sed -n 's/^project(Quillex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
tests/windows/installer.sh "build/windows/quillex-$version-setup.exe" build/release/quillex-cli
echo "windows: the suite passed in $(($(date +%s) - start)) s"
