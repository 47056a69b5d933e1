#!/usr/bin/env bash
# The whole-batch comparison with the peers, as the issue notes quote it: builds tolvane-batch
# in Release, runs the shared peer harness (its tasks T1..T6 over 20 photographs of 6000 x 4000)
# for tolvane-batch and the peers, and prints the harness's tables followed by the ratios that
# matter: tolvane's time over the fastest peer's, per task and thread mode, and the speed-up of
# the default jobs over --jobs 1. Nothing here runs in CI.
#
#   bench/peer_table.sh BENCH_DIR [peers.sh options...]
#     BENCH_DIR   the folder of peers.sh, make-workload.sh and tsv2md.py
#     e.g.  bench/peer_table.sh ../shared/bench --runs 3
#
# The workload must exist (BENCH_DIR/make-workload.sh) and the peers be installed
# (libvips-tools python3-pil libjpeg-turbo-progs hyperfine time). Compare the ratios of one
# run, not seconds across runs: the machine is shared.
set -euo pipefail
[[ $# -ge 1 ]] || { sed -n '2,14p' "$0"; exit 2; }
bench_dir=$(cd "$1" && pwd)
shift
cd "$(dirname "$0")/.."
build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVANE_TESTS=OFF >/dev/null
cmake --build "$build" --target tolvane-batch >/dev/null
tsv=$(mktemp /tmp/tolvane-peers-XXXXXX.tsv)
TOLVANE=$PWD/$build/tolvane-batch "$bench_dir/peers.sh" \
  --tools vips,pillow,pillow-pool,djpeg-cjpeg,tolvane "$@" >"$tsv"
echo "TSV: $tsv"
python3 "$bench_dir/tsv2md.py" "$tsv"
echo
# Columns of the TSV: task tool threads median_s ...
awk -F'\t' '
  NR == 1 { next }
  $2 == "tolvane" { mine[$1 "\t" $3] = $4; next }
  { key = $1 "\t" $3; if (!(key in best) || $4 < best[key]) { best[key] = $4; who[key] = $2 } }
  # A single-threaded peer also counts in the default mode: the user may pick it there too.
  $3 == "1" { key = $1 "\tdefault"; if (!(key in best) || $4 < best[key]) { best[key] = $4; who[key] = $2 } }
  END {
    print "| task | threads | tolvane s | fastest peer | peer s | ratio | default over --jobs 1 |"
    print "| --- | --- | --- | --- | --- | --- | --- |"
    n = split("T1 T2 T3 T4 T5 T6", tasks, " ")
    for (i = 1; i <= n; ++i) {
      for (m = 1; m <= 2; ++m) {
        mode = m == 1 ? "1" : "default"
        key = tasks[i] "\t" mode
        if (!(key in mine)) continue
        speedup = (mode == "default" && (tasks[i] "\t1") in mine) ? sprintf("%.2fx", mine[tasks[i] "\t1"] / mine[key]) : ""
        printf "| %s | %s | %.2f | %s | %.2f | %.2f | %s |\n", tasks[i], mode, mine[key],
               who[key], best[key], mine[key] / best[key], speedup
      }
    }
  }' "$tsv"
