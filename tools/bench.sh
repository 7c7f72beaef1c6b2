#!/usr/bin/env bash
# Builds the program and runs the uninstall benchmark under Wine, in a
# prefix of its own. Prints figures: the removal of 20,000 files in folders
# nested five deep by a native floor (one DeleteFileA or RemoveDirectoryA
# per entry, children first), by a silent uninstall with the list in either
# order and by "cmd /c rd /s /q", interleaved rounds, medians and ratios to
# the floor; then the deletion passes over generated installations and the
# whole program end to end. The machine's load is shown before and after:
# others sharing the cores stretch every time. Arguments go to the
# benchmark: --rounds N, --files N, --compare-only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

source tools/lib/tier.sh
korvik_choose_tier
tools/install-deps.sh
cmake --preset "$KORVIK_PRESET" >/dev/null
cmake --build --preset "$KORVIK_PRESET" --target uninstall_bench >/dev/null
korvik_use_tier_wine "$root/$KORVIK_BUILD"

source tools/lib/wine-session.sh
# KORVIK_BENCH_PREFIX puts the prefix elsewhere, on a tmpfs for example,
# out of the way of other programs' disk traffic.
wine_session_start "${KORVIK_BENCH_PREFIX:-$root/$KORVIK_BUILD/benchprefix}" win64
echo "uninstall benchmark: $(nproc) CPUs, $(wine --version), $KORVIK_TIER-bit build, prefix $WINEPREFIX"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
# The batch files' interpreter inherits the output; its echo is left out.
wine "$KORVIK_BUILD/tests/uninstall_bench.exe" "$@" | grep -av -e '^C:' -e '^.\?$'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
