#!/usr/bin/env bash
# The main job: a sample Korvik installation in a throwaway Wine prefix,
# worked as a user and the self-removal batch file would work it, with a
# readable report of what happened.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

source tools/lib/tier.sh
korvik_choose_tier
if [ "$KORVIK_TIER" = 64 ]; then
  why="this host runs no 32-bit code"
  [ "${KORVIK_ARCH:-}" != x64 ] || why="KORVIK_ARCH=x64"
  echo "== 64-bit tier ($why): the demo runs the 64-bit build of the same source" \
    "under 64-bit Wine =="
fi
tools/install-deps.sh
# The shipped program is the 32-bit build on either tier.
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target uninstall >/dev/null
shipped=build/src/uninstall.exe
if [ "$KORVIK_TIER" = 64 ]; then
  cmake --preset mingw64 >/dev/null
fi
build=$KORVIK_BUILD
cmake --build --preset "$KORVIK_PRESET" --target uninstall korvik_standin korvik_installer \
  orvdrive >/dev/null
korvik_use_tier_wine "$root/$build"

work=$(mktemp -d /tmp/korvik-demo.XXXXXX)
cleanup_demo() { wine_session_stop; rm -rf "$work"; }
source tools/lib/wine-session.sh
wine_session_start "$work/prefix" win64
trap cleanup_demo EXIT

orvdrive() { wine "$root/$build/tools/driver/orvdrive.exe" "$@"; }
install_dir='C:\Program Files\Korvik'
unix_install="$WINEPREFIX/drive_c/Program Files/Korvik"

echo "== Korvik uninstall.exe: demo =="
echo
echo "Program"
tools/check_binary.py "$shipped" | sed 's/^/  /'
echo
echo "A throwaway Wine prefix: $WINEPREFIX (code page 936, Windows 7)"

mkdir -p "$unix_install/doc"
cp "$build/src/uninstall.exe" "$unix_install/"
cp "$build/tools/standins/Korvik.exe" "$unix_install/"
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
echo "-- 3. uninstall.exe /s: a silent uninstall (list, deletion passes, self-removal) --"
# A help index that a help viewer left (not listed: the run deletes it by
# name), and a file of another program beside the installation folder that
# a tampered line of the list names: it must survive.
printf 'korvik help index\r\n' >"$unix_install/korvik.gid"
mkdir -p "$unix_install/../Other"
printf 'not Korvik'"'"'s\r\n' >"$unix_install/../Other/keep.txt"
printf '..\\Other\\keep.txt\r\n' >>"$unix_install/Uninstall.lst"
echo "  Uninstall.lst (doc comes before its contents, so the passes go: files; doc;"
echo "  then a pass that removes nothing; the last line reaches outside and is skipped):"
sed 's/\r$//; s/^/    /' "$unix_install/Uninstall.lst"
# The installation folder's contents, one per line, folders marked with a
# backslash, and how many of each.
tree_list() {
  (cd "$unix_install" 2>/dev/null &&
    find . -mindepth 1 \( -type d -printf '%P\\\n' \) -o -printf '%P\n' | sed 's|/|\\|g' | sort)
}
tree_count() { awk '/\\$/ { d++; next } { f++ } END { printf "%d files, %d folders", f, d }' "$1"; }
tree_list >"$work/before.txt"
echo "  before: $install_dir holds $(tree_count "$work/before.txt"):"
sed 's/^/    /' "$work/before.txt"
batch="$(wine cmd.exe /c 'echo %TEMP%' | tr -d '\r')\\Uninstall_Orv.Bat"
unix_batch=$(winepath -u "$batch" 2>/dev/null)
started=$(date +%s.%N)
# Into a file, not a pipe: the batch file's interpreter inherits the output
# and would hold a pipe open until it has finished.
orvdrive run --keep-children --timeout 30 -- "$install_dir\\uninstall.exe" /s >"$work/run.txt"
ended=$(date +%s.%N)
tree_list >"$work/after.txt"
sed 's/^/  /' "$work/run.txt"
awk -v a="$started" -v b="$ended" \
  'BEGIN { printf "  the program asked nothing and ended after %.1f s\n", b - a }'
echo "  removed by the run (the help index by its name, the list file last, the rest by the passes):"
comm -23 "$work/before.txt" "$work/after.txt" | sed 's/^/    /'
echo "  left for the self-removal batch file: $(tree_count "$work/after.txt"):"
sed 's/^/    /' "$work/after.txt"
if [ -f "$unix_batch" ]; then
  echo "  the batch file $batch, started hidden through the command interpreter:"
  sed 's/\r$//; s/^/    /' "$unix_batch"
  echo
fi

echo
echo "-- 4. the batch file pauses 2 s (uninstall.exe /wait), then deletes the program and its folder --"
orvdrive wait-file "$install_dir" --gone --timeout 30 | sed 's/^/  /'
ended=$(date +%s.%N)
awk -v a="$started" -v b="$ended" 'BEGIN { printf "  %.1f s after the run began\n", b - a }'
orvdrive wait-file "$batch" --gone --timeout 30 | sed 's/^/  /'
echo "  after:"
for path in "$install_dir\\uninstall.exe" "$install_dir" "$batch" 'C:\Program Files\Other\keep.txt'; do
  if [ -e "$(winepath -u "$path" 2>/dev/null)" ]; then
    echo "    $path: still there"
  else
    echo "    $path: gone"
  fi
done

echo
echo "-- 5. a round trip: the installer sets up silently, the registered uninstall command removes it all --"
payload="$WINEPREFIX/drive_c/KorvikPayload"
mkdir -p "$payload"
cp "$build/tools/standins/KorvikSetup.exe" "$build/tools/standins/Korvik.exe" "$build/src/uninstall.exe" \
  "$payload/"
# The registry places setup writes, as "key|value=data" lines (the view a
# 32-bit program sees of the machine's keys included).
reg_state() {
  local key
  : >"$1"
  for key in HKCR 'HKLM\Software\Microsoft\Windows\CurrentVersion' \
    'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion' 'HKCU\Software\Korvik'; do
    wine reg export "$key" "$work/export.reg" /y >/dev/null 2>&1 || continue
    iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r' |
      awk '/^\[/ { key = substr($0, 2, length($0) - 2); print key "|"; next }
           /^(@|")/ { print key "|" $0 }' >>"$1"
  done
  grep -E '^HKEY_CLASSES_ROOT|Uninstall|App Paths|Shell Extensions|Software\\Korvik' "$1" |
    LC_ALL=C sort -u >"$1.sorted"
  mv "$1.sorted" "$1"
}
# Shortcut files and program groups anywhere in the users' folders.
links_state() {
  (cd "$WINEPREFIX/drive_c" && find users ProgramData -iname '*korvik*' 2>/dev/null | LC_ALL=C sort) >"$1"
}
reg_state "$work/reg0.txt"
links_state "$work/links0.txt"
orvdrive run --unset sfxcmd --timeout 60 -- 'C:\KorvikPayload\KorvikSetup.exe' "$install_dir" /S |
  sed 's/^/  /'
reg_state "$work/reg1.txt"
links_state "$work/links1.txt"
LC_ALL=C comm -13 "$work/reg0.txt" "$work/reg1.txt" >"$work/reg_added.txt"
echo "  KorvikSetup.exe \"$install_dir\" /S laid out the files and ran uninstall.exe /setup;"
echo "  with sfxcmd holding /S both dialogs confirmed themselves. Setup wrote $(wc -l <"$work/reg_added.txt") registry entries:"
value_of() { grep -F "$1|$2" "$work/reg1.txt" | head -1 | sed 's/^[^|]*|[^=]*=//'; }
uninstall_key=$(grep -m1 -F 'Uninstall\Korvik archiver|' "$work/reg1.txt" | cut -d'|' -f1)
echo "    uninstall entry $uninstall_key:"
grep -F "$uninstall_key|\"" "$work/reg1.txt" | sed 's/^[^|]*|/      /'
estimated=$(value_of "$uninstall_key" '"EstimatedSize"' | sed 's/dword://')
echo "      (DisplayVersion from Korvik.exe's version resource; EstimatedSize: the files"
echo "      of Uninstall.lst, $((16#${estimated:-0})) KiB)"
app_key=$(grep -m1 -F 'App Paths\Korvik.exe|' "$work/reg1.txt" | cut -d'|' -f1)
echo "    application path $app_key:"
grep -F "$app_key|" "$work/reg1.txt" | grep -v '|$' | sed 's/^[^|]*|/      /'
echo "    archive types taken over (extension: file class):"
grep -E '^HKEY_CLASSES_ROOT\\\.[^\\|]*\|@="Korvik' "$work/reg_added.txt" |
  sed 's/^HKEY_CLASSES_ROOT\\\([^|]*\)|@="\(.*\)"/\1:\2/' | tr '\n' ' ' | fold -s -w 90 | sed 's/^/      /'
echo
owners=$(grep -E 'Software\\Korvik\\Setup\\[^|]*\|"Type"="[^"]' "$work/reg1.txt" |
  sed 's/.*Setup\\\([^|]*\)|"Type"=/\1 was /' || true)
echo "    former owners saved for the uninstall to give back: ${owners:-none (no other program owned them here)}"
echo "    shell extension class ids and handlers: $(grep -cE '\{[0-9A-F-]+\}|shellex' "$work/reg_added.txt") entries, e.g.:"
grep -E 'CLSID\\\{[^}]*\}\|@=' "$work/reg_added.txt" | sed 's/^/      /'
echo "    settings under HKCU\\Software\\Korvik: $(grep -c '^HKEY_CURRENT_USER.*|"' "$work/reg_added.txt") values"
echo "  shortcuts and program groups it made:"
LC_ALL=C comm -13 "$work/links0.txt" "$work/links1.txt" | sed 's|^|    C:\\|; s|/|\\|g'

# A value of the export as it stands: its quotes gone, its escapes undone.
unescaped_value() { value_of "$1" "$2" | sed -E 's/^"//; s/"$//; s/\\(["\\])/\1/g'; }
uninstall_string=$(unescaped_value "$uninstall_key" '"UninstallString"')
quiet_string=$(unescaped_value "$uninstall_key" '"QuietUninstallString"')
echo
echo "  the registered UninstallString, quoted (unquoted, the system would try C:\\Program.exe first):"
echo "    $uninstall_string"
echo "  the registered QuietUninstallString, run as it stands, as deployment tools do (no window at all):"
echo "    $quiet_string"
orvdrive run --unset sfxcmd --keep-children --timeout 60 --command-line "$quiet_string" \
  >"$work/run5.txt"
sed 's/^/  /' "$work/run5.txt"
orvdrive wait-file "$install_dir" --gone --timeout 30 | sed 's/^/  /'
orvdrive wait-file "$batch" --gone --timeout 30 | sed 's/^/  /'
reg_state "$work/reg2.txt"
links_state "$work/links2.txt"
if grep -qF "$uninstall_key|" "$work/reg2.txt"; then
  echo "  the uninstall entry is still there"
else
  echo "  the uninstall entry went with its key, the five values for deployment tools with it"
fi
echo "  removed again: $(LC_ALL=C comm -12 "$work/reg_added.txt" <(LC_ALL=C comm -23 "$work/reg1.txt" "$work/reg2.txt") | wc -l) of the $(wc -l <"$work/reg_added.txt") registry entries, $(LC_ALL=C comm -23 "$work/links1.txt" "$work/links2.txt" | wc -l) shortcut files and folders, and the installation folder"
echo "  left compared with before setup, and why:"
{
  LC_ALL=C comm -13 "$work/reg0.txt" "$work/reg2.txt" | sed 's/^/+ /'
  LC_ALL=C comm -23 "$work/reg0.txt" "$work/reg2.txt" | sed 's/^/- /'
  LC_ALL=C comm -3 "$work/links0.txt" "$work/links2.txt" | sed 's/^/+ file /'
} >"$work/left.txt"
while IFS= read -r line; do
  key=${line#+ }
  key=${key%|}
  case "$line" in
    *'shellex\'*'\Korvik|'* | *'shellex\'*'\Korvik32|'*)
      why='the handler key named by the shell extension: its value is removed, the key stays' ;;
    '+ '*'Handlers|')
      why='a parent key that setup created for the handler keys' ;;
    '+ '*'|')
      if grep -qF "+ $key\\" "$work/left.txt"; then
        why='a parent key that setup created for the handler keys'
      else
        why='not expected'
      fi ;;
    *) why='not expected' ;;
  esac
  echo "    $line"
  echo "      ($why)"
done <"$work/left.txt"
echo
echo "demo finished"
