#!/usr/bin/env bash
# Builds the program and every test, then runs them all under Wine in a
# prefix of their own. Ends with ctest's summary line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw

tools/check_binary.py build/src/uninstall.exe

source tools/lib/wine-session.sh
rm -rf build/wineprefix
wine_session_start "$root/build/wineprefix" win64
ctest --preset mingw "$@"
