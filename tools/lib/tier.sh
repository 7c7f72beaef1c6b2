# Sourced by the scripts that build and run the program: which of the two
# test tiers this host offers.
#
#   32-bit: the host runs 32-bit x86 code natively. The shipped 32-bit build
#           is tested under Wine with its 32-bit part.
#   64-bit: it does not (or only through an emulator, far too slow for
#           Wine). The 64-bit build of the same source is tested under
#           64-bit Wine; tests about a 32-bit program on 64-bit Windows skip.
#
# KORVIK_ARCH=x64 chooses the 64-bit tier on any host. Sets KORVIK_TIER
# (32 or 64), KORVIK_PRESET and KORVIK_BUILD (the CMake preset and its build
# folder), and on the 64-bit tier puts 64-bit Wine first on the PATH.

# True when an enabled binfmt_misc entry takes 32-bit x86 ELF programs: the
# kernel would then hand them to an emulator, even on a host that could run
# them itself.
korvik_i386_emulator_registered() {
  local dir=/proc/sys/fs/binfmt_misc entry magic
  [ -r "$dir/status" ] && grep -qx enabled "$dir/status" || return 1
  for entry in "$dir"/*; do
    case ${entry##*/} in status | register) continue ;; esac
    grep -qx enabled "$entry" 2>/dev/null || continue
    magic=$(sed -n 's/^magic //p' "$entry")
    # ELF, 32-bit class (bytes 0-4) and machine 3, i386 (bytes 18-19).
    [ "${magic:0:10}" = 7f454c4601 ] && [ "${magic:36:4}" = 0300 ] && return 0
  done
  return 1
}

# Runs a 96-byte static i386 program that only exits, with status 42.
korvik_host_runs_i386() {
  local probe status
  probe=$(mktemp "${TMPDIR:-/tmp}/korvik-i386.XXXXXX") || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'\
'\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

korvik_choose_tier() {
  if [ "${KORVIK_ARCH:-}" = x64 ]; then
    KORVIK_TIER=64
  elif korvik_i386_emulator_registered || ! korvik_host_runs_i386; then
    KORVIK_TIER=64
  else
    KORVIK_TIER=32
  fi
  if [ "$KORVIK_TIER" = 64 ]; then
    KORVIK_PRESET=mingw64
    KORVIK_BUILD=build64
  else
    KORVIK_PRESET=mingw
    KORVIK_BUILD=build
  fi
  export KORVIK_TIER KORVIK_PRESET KORVIK_BUILD
}

# Wine's own scripts take its 32-bit loader whenever it is installed; on the
# 64-bit tier every Wine program starts through the 64-bit one.
korvik_use_tier_wine() {
  [ "$KORVIK_TIER" = 64 ] || return 0
  local shim=$1/wine64-bin
  mkdir -p "$shim"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/wine"
  chmod +x "$shim/wine"
  export WINELOADER=/usr/lib/wine/wine64
  case ":$PATH:" in *":$shim:"*) ;; *) export PATH="$shim:$PATH" ;; esac
}
