#!/usr/bin/env bash
# Builds the language text fuzz target natively with clang (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) and runs it for a bounded
# time, from the seed corpus in tests/fuzz/corpus.
#
#   tests/fuzz/run_fuzz.sh [OUTPUT_DIR] [SECONDS]
#
# Exits 77 (skipped) when clang++ is missing. A finding ends the run with a
# failure and leaves the input as OUTPUT_DIR/crash-* (or leak-*, timeout-*).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/fuzz}
seconds=${2:-25}

compiler=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$compiler" ]; then
  echo "clang++ not installed: fuzzing skipped"
  exit 77
fi

mkdir -p "$out/corpus"
"$compiler" -std=c++17 -g -O1 -Wall -Wextra \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I "$root/src" \
  "$root/src/localization/language_text.cpp" \
  "$root/tests/fuzz/language_text_fuzz.cpp" \
  -o "$out/language_text_fuzz"

# New inputs go to the working corpus in the output folder; the seeds stay
# as they are.
cd "$out"
exec ./language_text_fuzz -max_total_time="$seconds" -max_len=70000 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/" \
  corpus "$root/tests/fuzz/corpus/language_text"
