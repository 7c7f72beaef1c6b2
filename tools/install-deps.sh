#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is
# missing: the MinGW-w64 cross compilers, Wine, an X server for the dialogs,
# the zh_CN.UTF-8 locale (code page 936 under Wine), GoogleTest sources,
# clang with libFuzzer for the native fuzz test and a few inspection tools.
# The 32-bit tier adds Wine's 32-bit part (an i386 package); the 64-bit tier
# needs no i386 package at all (tools/lib/tier.sh).
set -euo pipefail
source "$(dirname "$0")/lib/tier.sh"
[ -n "${KORVIK_TIER:-}" ] || korvik_choose_tier

packages=(
  cmake make g++ googletest python3
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine64
  xvfb xauth x11-utils imagemagick fonts-wqy-microhei
  locales python3-pefile liblnk-utils
  clang libclang-rt-14-dev clang-format
)
if [ "$KORVIK_TIER" = 32 ]; then
  packages+=(wine32:i386)
else
  packages+=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  if [ "$KORVIK_TIER" = 32 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # A mirror whose index for one part is broken (a security index that does
  # not match its Release file) fails the whole update; what the other
  # indexes offer may still be enough.
  if ! $SUDO apt-get update -qq; then
    echo "apt-get update failed for some index; going on with the package lists there are" >&2
  fi
  log=$(mktemp)
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >"$log" 2>&1; then
    # One line for the first package apt could not install, then apt's words.
    failed=""
    for p in "${missing[@]}"; do
      if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        "$p" >/dev/null 2>&1; then
        failed=$p
        break
      fi
    done
    cause="apt-get could not resolve it: its package index is missing or out of date"
    case $failed in
      *:i386) cause="$cause (the i386 index did not download, or its versions lag the amd64 ones); KORVIK_ARCH=x64 needs no i386 package" ;;
    esac
    echo "cannot install ${failed:-${missing[*]}}: $cause" >&2
    sed 's/^/  apt: /' "$log" | tail -5 >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
fi

# Tried rather than looked up in `locale -a`, which can list a locale that
# cannot be set.
if [ "$(LC_ALL=zh_CN.UTF-8 locale charmap 2>/dev/null)" != UTF-8 ]; then
  $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
