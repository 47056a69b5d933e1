#!/usr/bin/env bash
# Runs one libFuzzer campaign by hand: TARGET until RUNS executions or SECONDS have passed,
# whichever comes first, under the sanitizers build-fuzz was configured with and a memory cap.
# New inputs go to a work folder (the checked-in corpus only seeds it); findings land there as
# crash-*, leak-*, oom-* or timeout-* files. The last line of the log holds the figures.
#
#   fuzz/campaign.sh TARGET [SECONDS] [RUNS] [WORK]
#   e.g. fuzz/campaign.sh bmp 1800 10000000 /tmp/fuzzwork
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1
seconds=${2:-1800}
runs=${3:-10000000}
work=${4:-/tmp/fuzzwork}
binary=build-fuzz/fuzz/fuzz_$target
[[ -x $binary ]] || { echo "build $binary first (see README, Fuzzing)" >&2; exit 2; }
mkdir -p "$work/$target/corpus" "$work/$target/findings"
log=$work/$target.log
# -rss_limit_mb and -malloc_limit_mb hold every input to the memory a desktop run could spend.
"$binary" "$work/$target/corpus" "fuzz/corpus/$target" \
  -runs="$runs" -max_total_time="$seconds" -rss_limit_mb=2560 -malloc_limit_mb=2048 \
  -timeout=20 -max_len=65536 -print_final_stats=1 \
  -artifact_prefix="$work/$target/findings/" >"$log" 2>&1 || true
grep -E '^stat::|^#[0-9]+.*(DONE|pulse)' "$log" | tail -8
ls "$work/$target/findings"
