#!/usr/bin/env bash
# Builds lngtool for this Linux machine (the main build is a cross build).
#
#   tools/lngtool/build-native.sh [OUTPUT_DIR]
#
# Prints the path of the built tool.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/lngtool}
compiler=${CXX:-$(command -v g++ || command -v clang++)}
mkdir -p "$out"
"$compiler" -std=c++17 -O2 -Wall -Wextra \
  -I "$root/src" -I "$root/tools/lngtool" \
  "$root/tools/lngtool/lngtool.cpp" \
  "$root/tools/lngtool/pe_resources.cpp" \
  "$root/tools/lngtool/code_page.cpp" \
  "$root/src/localization/language_text.cpp" \
  -o "$out/lngtool"
echo "$out/lngtool"
