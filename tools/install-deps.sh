#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is
# missing: the MinGW-w64 cross compiler, Wine with its 32-bit part, an X
# server for the dialogs, the zh_CN.UTF-8 locale (code page 936 under Wine),
# GoogleTest sources, clang with libFuzzer for the native fuzz test and a
# few inspection tools.
set -euo pipefail

packages=(
  cmake make g++ googletest python3
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64
  xvfb xauth x11-utils imagemagick fonts-wqy-microhei
  locales python3-pefile liblnk-utils
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# Tried rather than looked up in `locale -a`, which can list a locale that
# cannot be set.
if [ "$(LC_ALL=zh_CN.UTF-8 locale charmap 2>/dev/null)" != UTF-8 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
