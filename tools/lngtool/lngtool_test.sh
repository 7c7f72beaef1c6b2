#!/usr/bin/env bash
# lngtool end to end: built natively, it writes a template from the built
# program for code page 936 that passes its own check; a broken file is
# reported line by line; double-byte characters whose second byte is a
# backslash survive a template and its check in code pages 936, 950 and
# 932; the Windows build writes the same templates.
#
#   lngtool_test.sh WORK_DIR PROGRAM.exe [WINE_RUN LNGTOOL.exe [DBCS_LIBRARY.dll]]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$1 program=$2 wine_run=${3:-} windows_tool=${4:-} dbcs_library=${5:-}
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
  printf 'debae517="125*11"\r\n'
  printf '50a17ae8="rtl"\r\n'
  printf 'f614af86="%0600d"\r\n' 0
  printf '31e0ff52="Finish\xB9"\r\n'
  printf '8d0700bf="fine"\r\n'
} > "$work/broken.lng"
set +e
"$tool" check "$program" 936 "$work/broken.lng" > "$work/broken.out"
status=$?
set -e
[ "$status" = 1 ] || fail "broken file: exit $status, not 1"
for expected in "upper-case digits" "blanks before the key" "blanks between the key" \
                "key 12345678 matches no text" "3b590d53 (message 5106" "c2989d97 (message 5108" \
                "duplicate key 76f0cc56" "gives 0 percent" \
                "debae517 (DONEDLG scale: width percent*height percent) is outside 50 to 400 percent: the program takes 125*50" \
                "only \"RTL\" in capitals" \
                "is 600 bytes; at most 509 fit" "31e0ff52 (DONEDLG) holds a lead byte" \
                "12 problems"; do
  grep -qF "$expected" "$work/broken.out" || fail "broken file: no \"$expected\" in: $(cat "$work/broken.out")"
done
printf 'f614af86="no marker"\r\n' > "$work/nomarker.lng"
if "$tool" check "$program" 936 "$work/nomarker.lng" > "$work/nomarker.out"; then fail "no marker passed"; fi
grep -q "no marker line" "$work/nomarker.out" || fail "no marker: $(cat "$work/nomarker.out")"

# Double-byte characters whose second byte is a backslash, each followed by
# n, r, t, a quote, a backslash or a line break, or ending its text (the
# library's texts as the "program"): written as they are, read back unchanged
# (template fails otherwise) and found clean by the check.
if [ -n "$dbcs_library" ]; then
  for row in "936 \xD5\x5Cn" "950 \xA5\x5Cn" "932 \x95\x5Cn"; do
    cp=${row%% *} raw=${row#* }
    "$tool" template "$dbcs_library" "$cp" "$work/dbcs-$cp.lng" > "$work/dbcs-$cp.out" 2>&1 ||
      fail "double-byte template $cp: $(cat "$work/dbcs-$cp.out")"
    LC_ALL=C grep -qF "$(printf "$raw")" "$work/dbcs-$cp.lng" ||
      fail "double-byte template $cp escapes a second byte"
    "$tool" check "$dbcs_library" "$cp" "$work/dbcs-$cp.lng" > "$work/dbcs-$cp.check" ||
      fail "double-byte check $cp: $(cat "$work/dbcs-$cp.check")"
    grep -q "10 entries, 0 texts of the program without an entry, 0 problems" \
        "$work/dbcs-$cp.check" ||
      fail "double-byte check $cp: $(cat "$work/dbcs-$cp.check")"
  done
fi

# The Windows build converts through WideCharToMultiByte: same bytes.
if [ -n "$windows_tool" ]; then
  "$wine_run" "$windows_tool" template "$(winepath -w "$program" 2>/dev/null || echo "Z:${program//\//\\}")" \
      936 "Z:${work//\//\\}\\windows.lng" > "$work/windows.out" 2>&1 || fail "Windows build: $(cat "$work/windows.out")"
  # The header names where the texts came from; the rest must match.
  cmp <(tail -n +2 "$work/template.lng") <(tail -n +2 "$work/windows.lng") || fail "Windows template differs"
  if [ -n "$dbcs_library" ]; then
    for cp in 950 932; do
      "$wine_run" "$windows_tool" template "Z:${dbcs_library//\//\\}" "$cp" \
          "Z:${work//\//\\}\\windows-$cp.lng" > "$work/windows-$cp.out" 2>&1 ||
        fail "Windows build, code page $cp: $(cat "$work/windows-$cp.out")"
      cmp <(tail -n +2 "$work/dbcs-$cp.lng") <(tail -n +2 "$work/windows-$cp.lng") ||
        fail "Windows template for code page $cp differs"
    done
  fi
fi

[ "$failures" = 0 ] && echo "lngtool: all checks passed"
exit "$failures"
