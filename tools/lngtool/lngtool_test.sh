#!/usr/bin/env bash
# lngtool end to end: built natively, it writes a template from the built
# program for code page 936 that passes its own check; a broken file is
# reported line by line; the Windows build writes the same template.
#
#   lngtool_test.sh WORK_DIR PROGRAM.exe [WINE_RUN LNGTOOL.exe]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$1 program=$2 wine_run=${3:-} windows_tool=${4:-}
rm -rf "$work"
mkdir -p "$work"
tool=$(bash "$here/build-native.sh" "$work" | tail -1)
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

"$tool" template "$program" 936 "$work/template.lng" || fail "template"
# The keys of the built-in texts given in the file format's example.
for key in f614af86 3b590d53 c2989d97 31e0ff52 9b889d24 debae517 e70335f9 50a17ae8; do
  grep -q "^$key=\"" "$work/template.lng" || fail "template lacks key $key"
done
grep -q '^\*\*\*messages\*\*\*' "$work/template.lng" || fail "template lacks the marker"
"$tool" check "$program" 936 "$work/template.lng" > "$work/template.out" || fail "template not clean: $(cat "$work/template.out")"

# A broken file: each line below is one fault the check must name.
{
  printf 'Before the marker\r\n***messages***\r\n'
  printf 'F614AF86="upper-case key"\r\n'
  printf '  f614af86="blanks before the key"\r\n'
  printf 'f614af86 = "blank around the equals sign"\r\n'
  printf '12345678="no such text"\r\n'
  printf '3b590d53="two %%s and %%s"\r\n'
  printf 'c2989d97="no placeholder"\r\n'
  printf '76f0cc56="one"\r\n76f0cc56="twice"\r\n'
  printf '9b889d24="0*100"\r\n'
  printf '50a17ae8="rtl"\r\n'
  printf 'f614af86="%0600d"\r\n' 0
  printf '8d0700bf="fine"\r\n'
} > "$work/broken.lng"
set +e
"$tool" check "$program" 936 "$work/broken.lng" > "$work/broken.out"
status=$?
set -e
[ "$status" = 1 ] || fail "broken file: exit $status, not 1"
for expected in "upper-case digits" "blanks before the key" "blanks between the key" \
                "key 12345678 matches no text" "3b590d53 (message 5106" "c2989d97 (message 5108" \
                "duplicate key 76f0cc56" "gives 0 percent" "only \"RTL\" in capitals" \
                "is 600 bytes; at most 509 fit" "10 problems"; do
  grep -qF "$expected" "$work/broken.out" || fail "broken file: no \"$expected\" in: $(cat "$work/broken.out")"
done
printf 'f614af86="no marker"\r\n' > "$work/nomarker.lng"
if "$tool" check "$program" 936 "$work/nomarker.lng" > "$work/nomarker.out"; then fail "no marker passed"; fi
grep -q "no marker line" "$work/nomarker.out" || fail "no marker: $(cat "$work/nomarker.out")"

# The Windows build converts through WideCharToMultiByte: same bytes.
if [ -n "$windows_tool" ]; then
  "$wine_run" "$windows_tool" template "$(winepath -w "$program" 2>/dev/null || echo "Z:${program//\//\\}")" \
      936 "Z:${work//\//\\}\\windows.lng" > "$work/windows.out" 2>&1 || fail "Windows build: $(cat "$work/windows.out")"
  # The header names where the texts came from; the rest must match.
  cmp <(tail -n +2 "$work/template.lng") <(tail -n +2 "$work/windows.lng") || fail "Windows template differs"
fi

[ "$failures" = 0 ] && echo "lngtool: all checks passed"
exit "$failures"
