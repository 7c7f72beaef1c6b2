#!/usr/bin/env bash
# Builds the program and runs the uninstall benchmark under Wine, in a
# prefix of its own. Prints figures: a silent uninstall of 20,000 files in
# folders nested five deep beside "cmd /c rd /s /q" of the same tree (both
# times, their ratio, the passes), then the deletion passes over generated
# installations and the whole program end to end. Arguments go to the
# benchmark: --rounds N, --files N, --compare-only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target uninstall_bench >/dev/null

source tools/lib/wine-session.sh
wine_session_start "$root/build/benchprefix" win64
echo "uninstall benchmark: $(nproc) CPUs, $(wine --version), prefix $WINEPREFIX"
# The batch files' interpreter inherits the output; its echo is left out.
wine build/tests/uninstall_bench.exe "$@" | grep -av -e '^C:' -e '^.\?$'
