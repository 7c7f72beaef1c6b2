#!/usr/bin/env bash
# Runs end-to-end tests again in a western locale, where the ANSI code page
# (1252) and the OEM code page in which the command interpreter reads batch
# files (850) differ. The glibc locale is made with localedef into a folder
# of the build tree (LOCPATH), so the machine's own locales are not touched.
#
#   western_locale.sh WINE_RUN TEST_EXE LOCALE_DIR GTEST_FILTER
set -euo pipefail

if [ $# -ne 4 ]; then
  echo "usage: $0 WINE_RUN TEST_EXE LOCALE_DIR GTEST_FILTER" >&2
  exit 2
fi
wine_run=$1 test_exe=$2 locales=$3 filter=$4

# Made aside and renamed into place whole: two of these tests may run at
# once, and the second must find a complete locale or none.
if [ ! -f "$locales/de_DE.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$locales"
  making=$(mktemp -d "$locales/.making.XXXXXX")
  localedef -i de_DE -f UTF-8 "$making/de_DE.UTF-8"
  mv -T "$making/de_DE.UTF-8" "$locales/de_DE.UTF-8" 2>/dev/null || true
  rm -rf "$making"
fi

cd "$(dirname "$test_exe")"
# Not beside the test program: two of these may run at once.
log=$(mktemp "${TMPDIR:-/tmp}/western.XXXXXX")
trap 'rm -f "$log"' EXIT
# The test checks that it really runs in code page 1252.
KORVIK_EXPECT_CODE_PAGE=1252 LOCPATH=$locales LC_ALL=de_DE.UTF-8 \
  "$wine_run" "$test_exe" --gtest_filter="$filter" >"$log" 2>&1 || status=$?
cat "$log"
grep -q '^\[  PASSED  \] 1 test' "$log" || exit "${status:-1}"
exit "${status:-0}"
