#!/usr/bin/env bash
# The main job: a sample Korvik installation in a throwaway Wine prefix,
# worked as a user and the self-removal batch file would work it, with a
# readable report of what happened.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target uninstall korvik_standin orvdrive >/dev/null

work=$(mktemp -d /tmp/korvik-demo.XXXXXX)
cleanup_demo() { wine_session_stop; rm -rf "$work"; }
source tools/lib/wine-session.sh
wine_session_start "$work/prefix" win64
trap cleanup_demo EXIT

orvdrive() { wine "$root/build/tools/driver/orvdrive.exe" "$@"; }
install_dir='C:\Program Files\Korvik'
unix_install="$WINEPREFIX/drive_c/Program Files/Korvik"

echo "== Korvik uninstall.exe: demo =="
echo
echo "Program"
tools/check_binary.py build/src/uninstall.exe | sed 's/^/  /'
echo
echo "A throwaway Wine prefix: $WINEPREFIX (code page 936, Windows 7)"

mkdir -p "$unix_install/doc"
cp build/src/uninstall.exe "$unix_install/"
cp build/tools/standins/Korvik.exe "$unix_install/"
printf 'Korvik licence\r\n' >"$unix_install/license.txt"
printf '<html>order</html>\r\n' >"$unix_install/doc/order.htm"
printf 'Korvik.exe\r\nlicense.txt\r\ndoc\r\ndoc\\order.htm\r\nuninstall.exe\r\n' \
  >"$unix_install/Uninstall.lst"
echo
echo "Sample installation in $install_dir:"
(cd "$unix_install" && find . -type f | sed 's|^\./|  |' | sort)

echo
echo "-- 1. uninstall.exe /wait (the batch file's pause) --"
started=$(date +%s.%N)
orvdrive run --timeout 20 -- "$install_dir\\uninstall.exe" /wait | sed 's/^/  /'
ended=$(date +%s.%N)
awk -v a="$started" -v b="$ended" 'BEGIN { printf "  ended after %.1f s and showed nothing\n", b - a }'

echo
echo "-- 2. uninstall.exe /warning (the batch file's last word), answered with OK --"
orvdrive run --answer ok --timeout 20 -- "$install_dir\\uninstall.exe" /warning | sed 's/^/  /'

echo
echo "-- 3. uninstall.exe (the uninstall run, as the list of installed programs starts it), answered Yes --"
printf 'korvik help index\r\n' >"$unix_install/korvik.gid"
started=$(date +%s.%N)
# Into a file, not a pipe: the batch file's interpreter inherits the output
# and would hold a pipe open until it has finished.
orvdrive run --answer yes --keep-children --timeout 30 -- "$install_dir\\uninstall.exe" \
  >"$work/run.txt"
ended=$(date +%s.%N)
sed 's/^/  /' "$work/run.txt"
awk -v a="$started" -v b="$ended" 'BEGIN { printf "  the run ended after %.1f s\n", b - a }'
echo "  left for the self-removal batch file:"
(cd "$unix_install" && find . -type f | sed 's|^\./|    |' | sort)

echo
echo "-- 4. the batch file pauses 2 s (uninstall.exe /wait), then deletes the program and its folder --"
batch="$(wine cmd.exe /c 'echo %TEMP%' | tr -d '\r')\\Uninstall_Orv.Bat"
orvdrive wait-file "$install_dir" --gone --timeout 30 | sed 's/^/  /'
ended=$(date +%s.%N)
awk -v a="$started" -v b="$ended" 'BEGIN { printf "  %.1f s after the run began\n", b - a }'
orvdrive wait-file "$batch" --gone --timeout 30 | sed 's/^/  /'
echo
echo "demo finished"
