#!/usr/bin/env bash
# The shell extension's registration on 32-bit Windows, where only
# "orvext.dll" is handled and its handler keys are named "Korvik".
#
# A 32-bit program cannot start Wine, so this runs outside the test
# programs: probe.exe, copied into a folder of the prefix's drive C: with the
# stand-in libraries beside it, runs the real operations inside a
# 32-bit-only Wine prefix, and then reads the registry back with the plain
# registry functions ("probe regquery"), not through the code under test.
# The prefix is made on first use (about 10 s, 0.6 GB) and kept in the build
# tree; a marker file tells a finished prefix from an interrupted one. Its
# wineserver runs for the length of the script only.
#
#   shell_extension_win32_test.sh PROBE_EXE PREFIX_DIR
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 PROBE_EXE PREFIX_DIR" >&2
  exit 2
fi
probe=$1

# A 32-bit-only prefix runs 32-bit programs only; the 64-bit tier builds a
# 64-bit probe.exe. The machine field of its PE header tells.
pe_header=$(od -An -tu4 -j60 -N4 "$probe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_header + 4)) -N2 "$probe" | tr -d ' ')
if [ "$machine" != 014c ]; then
  echo "skipped: probe.exe is not a 32-bit program (64-bit tier), and a 32-bit-only prefix runs no other"
  exit 77
fi

export WINEPREFIX=$2
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The paths here are ASCII; one fixed locale keeps the prefix's settings
# the same from run to run.
export LC_ALL=C.UTF-8
# Nothing here opens a window; keep off the caller's X server.
unset DISPLAY

id32='{6F2A9C31-5B17-4C3E-8A0D-D3B58C1E47A2}'
id64='{6F2A9C31-5B27-4C3E-8A0D-D3B58C1E47A2}'
approved='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
folder='C:\korvik-shellext'
folder_unix=$WINEPREFIX/drive_c/korvik-shellext
ready=$WINEPREFIX/.korvik-ready
failures=0

class_named_keys() {  # CLASS_ID
  for parent in 'Korvik\shellex\ContextMenuHandlers' 'Korvik\shellex\PropertySheetHandlers' \
                'Korvik.ZIP\shellex\ContextMenuHandlers' \
                'Korvik.ZIP\shellex\PropertySheetHandlers' 'exefile\shellex\PropertySheetHandlers'; do
    echo "HKCR\\$parent\\$1"
  done
}

name_keyed_keys() {  # HANDLER_NAME
  for parent in '*\shellex\ContextMenuHandlers' 'Folder\shellex\ContextMenuHandlers' \
                'Folder\shellex\DragDropHandlers' 'Drive\shellex\DragDropHandlers' \
                'Directory\shellex\ContextMenuHandlers' 'Directory\shellex\DragDropHandlers'; do
    echo "HKCR\\$parent\\$1"
  done
}

drop_keys='HKCR\Korvik\shellex\DropHandler
HKCR\Korvik.ZIP\shellex\DropHandler'

make_prefix() {
  [ -f "$ready" ] && return 0
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || return 1
  touch "$ready"
}

# Removes everything the product may have made ("probe reset": the tests'
# shared footprint table), and the test folder.
clean() {
  wine "$probe" reset >/dev/null 2>&1
  rm -rf "$folder_unix"
}

# Expectations of one step, checked together by check_step.
keys=()
names=()
wanted=()

expect() {  # KEY NAME ("" for the default value) EXPECTED
  keys+=("$1")
  names+=("$2")
  wanted+=("$3")
}

# Reads every expected value with one start of Wine: "probe regquery" takes
# one "KEY|NAME" a line and answers one line each, the value's text,
# "<no key>" or "<no value>". (reg.exe, one process per value, took 0.1 to
# 0.2 s a value here; Wine's "reg query /s" crashed on an empty subkey.)
check_step() {
  local list=$folder_unix/query.txt i
  for i in "${!keys[@]}"; do
    printf '%s|%s\r\n' "${keys[$i]}" "${names[$i]}"
  done > "$list"
  local -a got=()
  mapfile -t got < <(wine "$folder\\probe.exe" regquery < "$list" 2>&1 | tr -d '\r')
  rm -f "$list"
  if [ ${#got[@]} -ne ${#keys[@]} ]; then
    echo "FAIL [$step] ${#keys[@]} queries, ${#got[@]} answers: ${got[*]}"
    failures=$((failures + 1))
  fi
  for i in "${!keys[@]}"; do
    if [ "${got[$i]-<no answer>}" != "${wanted[$i]}" ]; then
      echo "FAIL [$step] ${keys[$i]} [${names[$i]:-(Default)}]: expected '${wanted[$i]}'," \
           "got '${got[$i]-<no answer>}'"
      failures=$((failures + 1))
    fi
  done
  keys=()
  names=()
  wanted=()
}

expect_handlers_of_orvext() {
  local key
  while read -r key; do expect "$key" "" ""; done < <(class_named_keys "$id32")
  while read -r key; do expect "$key" "" "$id32"; done < <(name_keyed_keys Korvik)
  while read -r key; do expect "$key" "" "$id32"; done <<< "$drop_keys"
  expect "$approved" "$id32" "Korvik shell extension"
}

# Nothing of the 64-bit library, nor the WOW64 handler name.
expect_nothing_of_orvext64() {
  local key
  expect "HKCR\\CLSID\\$id64" "" "<no key>"
  while read -r key; do expect "$key" "" "<no key>"; done < <(class_named_keys "$id64")
  while read -r key; do expect "$key" "" "<no key>"; done < <(name_keyed_keys Korvik32)
  expect "$approved" "$id64" "<no value>"
}

run_probe() {  # on|off
  local out
  out=$(wine "$folder\\probe.exe" shellext "$1" 2>&1)
  out=${out//$'\r'/}
  # 32-bit Windows, and a definite answer kept in the cache.
  if [ "$out" != "wow64=0 cache=0" ]; then
    echo "FAIL [$step] probe shellext $1 printed '$out'"
    failures=$((failures + 1))
  fi
}

if ! make_prefix; then
  echo "FAIL: could not make the 32-bit prefix $WINEPREFIX"
  exit 1
fi
wineserver -p >/dev/null 2>&1
trap 'clean; wineserver -k >/dev/null 2>&1' EXIT
clean
mkdir -p "$folder_unix"
cp "$probe" "$folder_unix/probe.exe"
# The 64-bit library beside it is never looked at on 32-bit Windows.
printf 'MZ' > "$folder_unix/orvext64.dll"

step="library missing"
run_probe on
expect "HKCR\\CLSID\\$id32" "" "<no key>"
expect_handlers_of_orvext
expect_nothing_of_orvext64
check_step

step="library present"
printf 'MZ' > "$folder_unix/orvext.dll"
run_probe on
expect "HKCR\\CLSID\\$id32" "" "Korvik"
expect "HKCR\\CLSID\\$id32\\InProcServer32" "" "$folder\\orvext.dll"
expect "HKCR\\CLSID\\$id32\\InProcServer32" "ThreadingModel" "Apartment"
expect_handlers_of_orvext
expect_nothing_of_orvext64
check_step

step="removal"
run_probe off
expect "HKCR\\CLSID\\$id32" "" "<no key>"
while read -r key; do expect "$key" "" "<no key>"; done < <(class_named_keys "$id32")
while read -r key; do expect "$key" "" "<no key>"; done <<< "$drop_keys"
# The name-keyed handler keys stay, without a default value.
while read -r key; do expect "$key" "" "<no value>"; done < <(name_keyed_keys Korvik)
expect "$approved" "$id32" "<no value>"
expect 'HKCR\Korvik\shellex' "" "<no value>"
expect_nothing_of_orvext64
check_step

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
