#!/usr/bin/env bash
# Builds the program and every test, then runs them all under Wine in a
# prefix of their own. Ends with ctest's summary line and a count of the
# GoogleTest cases run and skipped on this host's tier (tools/lib/tier.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

source tools/lib/tier.sh
korvik_choose_tier
echo "test tier: $KORVIK_TIER-bit (preset $KORVIK_PRESET)"

# The edit-test loop: tools/test.sh --quick [GTEST_FILTER]. No package step
# and the build's prefix kept; builds what changed and runs the chosen cases
# of every GoogleTest program (all of them without a filter).
if [ "${1:-}" = --quick ]; then
  filter=${2:-*}
  [ -f "$KORVIK_BUILD/CMakeCache.txt" ] || cmake --preset "$KORVIK_PRESET" >/dev/null
  cmake --build --preset "$KORVIK_PRESET" >/dev/null
  korvik_use_tier_wine "$root/$KORVIK_BUILD"
  source tools/lib/wine-session.sh
  wine_session_start "$root/$KORVIK_BUILD/wineprefix" win64
  status=0
  for program in tests/unit_tests tests/e2e_tests tests/driver/driver_test; do
    (cd "$KORVIK_BUILD/$(dirname "$program")" &&
      "$root/$KORVIK_BUILD/wine-run" "./$(basename "$program").exe" --gtest_filter="$filter" --gtest_brief=1) ||
      status=1
  done
  exit "$status"
fi
tools/install-deps.sh

# The shipped program is the 32-bit build on either tier.
cmake --preset mingw >/dev/null
if [ "$KORVIK_TIER" = 32 ]; then
  cmake --build --preset mingw
else
  cmake --build --preset mingw --target uninstall
fi
tools/check_binary.py build/src/uninstall.exe
if [ "$KORVIK_TIER" = 64 ]; then
  cmake --preset mingw64 >/dev/null
  cmake --build --preset mingw64
fi

korvik_use_tier_wine "$root/$KORVIK_BUILD"
source tools/lib/wine-session.sh
rm -rf "$KORVIK_BUILD/wineprefix"
# Two prefixes: ctest runs two tests that need one side by side.
wine_session_start "$root/$KORVIK_BUILD/wineprefix" win64 2

# Every GoogleTest program writes its results here, one file a run.
results=$root/$KORVIK_BUILD/gtest-results
rm -rf "$results"
mkdir -p "$results"
status=0
GTEST_OUTPUT="xml:Z:$results/" ctest --preset "$KORVIK_PRESET" "$@" || status=$?
python3 tools/lib/count_cases.py "$results" "$KORVIK_TIER"
exit "$status"
