# Sourced by the scripts that run Windows programs: a Wine prefix of their
# own, an X server for the dialogs and a persistent wineserver, all stopped
# again when the script exits, whether it passed or failed.
#
#   wine_session_start PREFIX_DIR [win32|win64] [PREFIX_COUNT]
#
# With a PREFIX_COUNT above 1 the session also keeps copies of the freshly
# made prefix, PREFIX_DIR-1 and on, each with its own wineserver and X
# screen, named to the test runner by KORVIK_PREFIX_<n> and
# KORVIK_DISPLAY_<n> (tools/wine-run.in).

wine_session_pids=()
wine_session_copies=()

wine_session_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  local copy
  for copy in "${wine_session_copies[@]}"; do
    WINEPREFIX=$copy wineserver -k >/dev/null 2>&1 || true
  done
  wine_session_copies=()
  for pid in "${wine_session_pids[@]}"; do
    kill "$pid" >/dev/null 2>&1 || true
  done
  wine_session_pids=()
}

wine_free_display() {
  local n
  for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      echo "$n"
      return
    fi
  done
  echo 99
}

# Wine's desktop process ends a second after the last program on the
# desktop, and the next program that opens a window starts a new one. This
# one stays for the whole session: the wine command waits for it and, being
# on that desktop itself, keeps it open. Started here, it writes nowhere; a
# desktop process started by a test program would hold that program's
# output open.
wine_session_keep_desktop() {
  wine explorer.exe /desktop >/dev/null 2>&1 </dev/null &
  wine_session_pids+=($!)
  # Ready once its windows are on the X screen.
  for _ in $(seq 100); do
    xwininfo -root -children 2>/dev/null | grep -q '"explorer.exe"' && return
    sleep 0.1
  done
}

# An X server on a free display, named in wine_session_display.
wine_session_x_server() {
  local display
  display=$(wine_free_display)
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  wine_session_pids+=($!)
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
  done
  wine_session_display=:$display
}

# The background processes of the prefix in WINEPREFIX, on DISPLAY.
wine_session_serve() {
  wineserver -p >/dev/null 2>&1
  # Start Wine's own background processes now, with their output going
  # nowhere: started later, they would inherit a test runner's pipe and
  # keep it open after the test program has ended.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
  wine_session_keep_desktop
}

wine_session_start() {
  local prefix=$1 arch=${2:-win64} count=${3:-1}
  local locale=${KORVIK_LOCALE:-zh_CN.UTF-8}
  # Made before any shell is given it: a shell warns about a locale that is
  # not there.
  if [ "$locale" = zh_CN.UTF-8 ] && [ "$(LC_ALL=$locale locale charmap 2>/dev/null)" != UTF-8 ]; then
    "$(dirname "${BASH_SOURCE[0]}")/../install-deps.sh"
  fi
  export WINEPREFIX=$prefix
  export WINEDEBUG=-all
  export LC_ALL=$locale
  export WINEARCH=$arch
  # No network here: never ask to download Mono or Gecko. No menu entries
  # in the Linux desktop for the links the program makes.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

  trap wine_session_stop EXIT
  wine_session_x_server
  export DISPLAY=$wine_session_display

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    wine wineboot.exe -i >/dev/null 2>&1
    wineserver -w
    # Dialogs get their caption bar from Wine itself: there is no window
    # manager on the X server.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # A crashing program must end, not wait in winedbg holding the test
    # runner's output pipe.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null 2>&1
    wineserver -w
    # The user's shell folders (Desktop, Documents, ...) are links into the
    # Linux home: make them folders of the prefix, so that nothing the
    # program makes lands outside it.
    local link
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$link" ]; then
        rm -f "$link"
        mkdir -p "$link"
      fi
    done
  fi
  # The copies are taken while no wineserver has the prefix open, so that
  # its registry files are whole.
  ((count < 2)) || wineserver -w >/dev/null 2>&1 || true
  local n copy
  for ((n = 1; n < count; n++)); do
    copy=$prefix-$n
    rm -rf "$copy"
    cp -a "$prefix" "$copy"
    wine_session_copies+=("$copy")
    wine_session_x_server
    export "KORVIK_PREFIX_$n=$copy" "KORVIK_DISPLAY_$n=$wine_session_display"
    WINEPREFIX=$copy DISPLAY=$wine_session_display wine_session_serve
  done
  wine_session_serve
}
