#!/usr/bin/env bash
# Pictures of the three dialogs of a setup run (settings, context menu
# items, completion) for the README, taken in a throwaway Wine prefix on a
# virtual screen: docs/screenshots/*.png. With the English language pack
# built (lang/en), the same three again in English (*-en.png).
#
#   tools/screenshots.sh              builds with the "mingw" preset first
#   KORVIK_BUILD_DIR=build-x tools/screenshots.sh   uses that build as it is
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

build=${KORVIK_BUILD_DIR:-build}
if [ -z "${KORVIK_BUILD_DIR:-}" ]; then
  tools/install-deps.sh
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw --target uninstall korvik_standin korvik_installer dialog_pilot \
    english_pack >/dev/null
fi
out="$root/docs/screenshots"
mkdir -p "$out"

work=$(mktemp -d /tmp/korvik-shots.XXXXXX)
# The killed wineserver still writes the prefix's registry as it goes:
# wait for it before the folder is removed.
cleanup_shots() {
  wine_session_stop
  [ -z "${WINEPREFIX:-}" ] || wineserver -w >/dev/null 2>&1 || true
  rm -rf "$work"
}
source tools/lib/wine-session.sh
trap cleanup_shots EXIT

pilot() { wine "$root/$build/tools/standins/dialogpilot.exe" "$@" | tr -d '\r'; }

# shoot NAME ID [NOT_ID]: the dialog holding control ID (and not NOT_ID).
shoot() {
  local geometry x y w h
  geometry=$(pilot find "$2" "${3:-0}" 30) || { echo "no dialog with control $2" >&2; return 1; }
  read -r x y w h <<<"$geometry"
  sleep 1  # until it has painted
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$1.png"
  echo "  $out/$1.png (${w}x${h})"
}

# Waits until the dialog holding ID is gone or disabled.
until_gone() {
  while pilot find "$1" 0 1 >/dev/null; do sleep 0.2; done
}

# One setup run, interactive: SETUPDLG, its context menu items dialog
# (opened and cancelled), OK, then DONEDLG and its finish button.
# Each language in a fresh prefix: Wine draws the captions itself (no window
# manager on the virtual screen), the Chinese texts need code page 936, and
# the program group folder that a finished setup opens must not cover the
# next pictures.
shots() {
  local suffix=$1 folder=$2 pack=${3:-}
  wine_session_stop
  wine_session_start "$work/prefix$suffix" win64
  trap cleanup_shots EXIT  # the session start set its own
  mkdir -p "$WINEPREFIX/drive_c/KorvikPayload"
  cp "$build/tools/standins/KorvikSetup.exe" "$build/tools/standins/Korvik.exe" \
    "$build/src/uninstall.exe" "$WINEPREFIX/drive_c/KorvikPayload/"
  if [ -n "$pack" ]; then
    local unix_folder
    unix_folder=$(winepath -u "$folder")
    mkdir -p "$unix_folder"
    cp "$pack/orvlng.dll" "$unix_folder/"
    [ ! -f "$pack/uninstall.lng" ] || cp "$pack/uninstall.lng" "$unix_folder/"
  fi
  env -u sfxcmd wine 'C:\KorvikPayload\KorvikSetup.exe' "$folder" >/dev/null 2>&1 &
  local installer=$!
  shoot "setup-dialog$suffix" 5122
  pilot press 5122 5123
  shoot "context-items$suffix" 111
  pilot press 111 2
  until_gone 111
  pilot press 5122 1
  until_gone 5122
  shoot "done-dialog$suffix" 5102 5122
  pilot press 5102 1
  wait "$installer"
}

echo "Chinese (the built-in texts):"
shots "" 'C:\Program Files\Korvik'

if [ -f "$build/lang/en/orvlng.dll" ]; then
  echo "English (the language pack beside the program):"
  shots "-en" 'C:\Program Files\Korvik' "$build/lang/en"
else
  echo "no English language pack in $build/lang/en: English pictures skipped"
fi
