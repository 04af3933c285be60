#!/bin/sh
# Runs every benchmark program once; each prints its own figures.
# BENCH=name runs only that one (e.g. BENCH=bench_read make bench).
build="${1:-build}"
status=0
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  name=$(basename "$b")
  [ -n "${BENCH:-}" ] && [ "$BENCH" != "$name" ] && continue
  echo "== $name"
  "$b" || status=1
done
exit $status
