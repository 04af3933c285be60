#!/bin/sh
# Runs bench_read N times (default 10), one process after another, and sets
# each row's figures side by side across the runs: the spread (slowest /
# fastest) from run to run of its best time and of its median time, the
# largest spread within one run, and the largest share of tinyobjloader's
# time.
#   tools/bench-read-runs.sh [N] [build]     (BENCH_READ_RUNS as bench_read takes it)
# Each run's whole output is kept in $TMPDIR/celshade-bench/runs/<run>.txt.
set -eu
runs="${1:-10}"
build="${2:-build}"
dir="${TMPDIR:-/tmp}/celshade-bench/runs"
mkdir -p "$dir"
rm -f "$dir"/*.txt
i=1
while [ "$i" -le "$runs" ]; do
  echo "bench-read-runs: run $i of $runs" >&2
  if ! "$build/bench/bench_read" >"$dir/$i.txt" 2>&1; then
    echo "bench-read-runs: run $i failed (see $dir/$i.txt)" >&2
    exit 1
  fi
  i=$((i + 1))
done
# A table row: the name in 36 columns, then best, median, cpu, MB/s (or
# "-"), spread ("1.23x") and, for the readers, the share of tinyobjloader's.
awk -v runs="$runs" '
  /^reader \(wall s\)/ { table = 1; next }
  /^targets:|^tinyobjloader: not built/ { table = 0 }
  table {
    name = substr($0, 1, 36); sub(/ +$/, "", name)
    split(substr($0, 37), f, " ")
    best = f[1] + 0; median = f[2] + 0; within = f[5]; sub(/x$/, "", within); within += 0
    if (!(name in count)) {
      order[++rows] = name
      bestLo[name] = bestHi[name] = best; medLo[name] = medHi[name] = median
    }
    if (best < bestLo[name]) bestLo[name] = best
    if (best > bestHi[name]) bestHi[name] = best
    if (median < medLo[name]) medLo[name] = median
    if (median > medHi[name]) medHi[name] = median
    if (within > most[name]) most[name] = within
    if (6 in f && f[6] + 0 > share[name]) share[name] = f[6] + 0
    count[name]++
  }
  END {
    if (count["glmReadOBJ, all threads"] != runs) {
      print "bench-read-runs: the runs'"'"' tables were not found whole" > "/dev/stderr"
      exit 1
    }
    printf "%d runs of bench_read, run to run:\n", runs
    printf "%-36s %8s %7s %8s %7s %7s %9s\n", "reader (wall s)", "best", "spread", "median",
           "spread", "within", "/tinyobj"
    for (r = 1; r <= rows; r++) {
      n = order[r]
      printf "%-36s %8.3f %6.2fx %8.3f %6.2fx %6.2fx", n, bestLo[n], bestHi[n] / bestLo[n],
             medLo[n], medHi[n] / medLo[n], most[n]
      if (n in share) printf " %9.3f", share[n]
      printf "\n"
    }
    printf "best, median: the fastest of the runs; spread: slowest run / fastest run;\n"
    printf "within: the largest spread of one run; /tinyobj: the largest median share\n"
  }' "$dir"/*.txt
