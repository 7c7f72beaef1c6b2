#!/usr/bin/env bash
# The program group's links as an independent reader sees them: probe.exe
# runs UpdateShortcuts with Programs on in the build's Wine prefix, then
# lnkinfo (Debian's liblnk-utils) reads the .lnk files on the Linux side and
# must find the Chinese link names, the archiver's files beside probe.exe as
# targets and the built-in description. The group is removed at the end.
#
#   shortcuts_lnkinfo_test.sh WINE_RUN PROBE_EXE
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 WINE_RUN PROBE_EXE" >&2
  exit 2
fi
run=$1
probe=$2
if ! command -v lnkinfo >/dev/null; then
  echo "lnkinfo (package liblnk-utils) is missing" >&2
  exit 1
fi
# Wine's menu builder would copy every start-menu link into the Linux
# desktop's menus in the home folder.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"

work=$(mktemp -d)
cleanup() {
  "$run" "$probe" shortcuts 000 >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# One field of lnkinfo's report, e.g. "Local path".
field() {  # LINK FIELD
  lnkinfo "$1" 2>/dev/null | sed -n "s/^[[:space:]]*$2[[:space:]]*: //p"
}

"$run" "$probe" shortcuts 000 >/dev/null 2>&1
if ! "$run" "$probe" shortcuts 001 "Z:$work/launch.txt" >/dev/null 2>&1; then
  echo "probe.exe shortcuts 001 failed" >&2
  exit 1
fi
# The launch path names the group, in code page 936.
group_windows=$(iconv -f GBK -t UTF-8 "$work/launch.txt")
group=$("$run" winepath -u "$group_windows" 2>/dev/null)
program_folder=$("$run" winepath -w "$(dirname "$probe")" 2>/dev/null)
group=${group%/}
program_folder=${program_folder%\\}
echo "group: $group_windows -> $group"
if [ -z "$group_windows" ] || [ ! -d "$group" ]; then
  echo "no program group folder: '$group_windows'" >&2
  exit 1
fi

description='处理 ORV、ZIP 和其它档案文件格式'
while IFS='|' read -r link target; do
  file="$group/$link"
  if [ ! -f "$file" ]; then
    fail "$link: missing"
    continue
  fi
  path=$(field "$file" "Local path")
  text=$(field "$file" "Description")
  echo "$link: '$path' '$text'"
  [ "$path" = "$program_folder\\$target" ] || fail "$link: target '$path'"
  [ "$text" = "$description" ] || fail "$link: description '$text'"
done <<'EOF'
Korvik.lnk|Korvik.exe
Korvik 帮助.lnk|Korvik.chm
控制台 ORV 手册.lnk|Orv.txt
EOF
count=$(find "$group" -mindepth 1 | wc -l)
[ "$count" -eq 3 ] || fail "the group holds $count entries, not 3"

"$run" "$probe" shortcuts 000 >/dev/null 2>&1
[ ! -e "$group" ] || fail "the group is still there after the removal"

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "all links read back"
