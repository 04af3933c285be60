#!/bin/sh
# Fuzzes the OBJ/MTL reader, the operations on the models it reads and the
# PPM reader with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer, SECONDS each (default 60):
#   tools/run-fuzz.sh [SECONDS]            (make fuzz SECONDS_TO_FUZZ=...)
#   FUZZ_ONLY=obj tools/run-fuzz.sh 600    builds and runs only that harness
#   FUZZ_RUNS=5000000 ...                  stops each after that many inputs
# The harnesses are built into build-fuzz/. Each fuzzes a work copy of its seed
# corpus (fuzz/corpus-work/<name>/, not versioned, kept between runs; the
# operations harness "ops" starts from the OBJ seeds); an
# input that fails is saved in fuzz/crashes/<name>/, which the replay tests
# (ctest -R fuzz_) then run on every build. Ends non-zero on any finding.
set -eu
seconds="${1:-60}"
cd "$(dirname "$0")/.."
cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
  echo "run-fuzz: clang++ not found (make fuzz installs clang and libclang-rt-14-dev)" >&2
  exit 1
fi

out=build-fuzz
mkdir -p "$out/lib"
flags="-std=c++17 -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined
  -fno-sanitize-recover=undefined -Wall -Wextra -Imodel -Itests"
echo "run-fuzz: building the harnesses with $cxx into $out/"
rm -f "$out"/lib/*.o
# The library gets coverage instrumentation too, so libFuzzer sees inside it.
ls model/*.cpp | xargs -P2 -I{} sh -c \
  'exec "$0" $1 -fsanitize=fuzzer-no-link -c "{}" -o "$2/lib/$(basename "{}" .cpp).o"' \
  "$cxx" "$flags" "$out"
harnesses="${FUZZ_ONLY:-obj ppm ops}"
for name in $harnesses; do
  $cxx $flags -fsanitize=fuzzer "fuzz/fuzz_$name.cpp" "$out"/lib/*.o -lGL -o "$out/fuzz_$name"
done

# fuzz NAME [libFuzzer options...]: runs one harness for the time given.
status=0
fuzz() {
  name=$1
  shift
  work=fuzz/corpus-work/$name
  crashes=fuzz/crashes/$name
  mkdir -p "$work" "$crashes"
  seeds=fuzz/corpus/$name
  [ "$name" = ops ] && seeds=fuzz/corpus/obj
  cp -n "$seeds"/* "$work"/ 2>/dev/null || true
  log=$out/fuzz_$name.log
  before=$(ls "$crashes" | wc -l)
  echo "run-fuzz: fuzz_$name for $seconds s (log: $log)"
  result=0
  "$out/fuzz_$name" "$@" -max_total_time="$seconds" -runs="${FUZZ_RUNS:--1}" -timeout=10 \
    -rss_limit_mb=2048 \
    -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$crashes/" "$work" >"$log" 2>&1 ||
    result=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$result" -eq 0 ]; then
    echo "run-fuzz: fuzz_$name: ${execs:-?} executions, no finding"
  else
    status=1
    echo "run-fuzz: fuzz_$name: FINDING after ${execs:-?} executions (exit $result):"
    grep -E '(==ERROR|^SUMMARY|runtime error|check failed|Test unit written)' "$log" | head -n 8
    [ "$(ls "$crashes" | wc -l)" -gt "$before" ] && echo "run-fuzz: input saved in $crashes/"
  fi
}

for name in $harnesses; do
  case $name in
    obj | ops) fuzz "$name" -dict=fuzz/obj.dict -max_len=16384 ;;
    *) fuzz "$name" -max_len=4096 ;;
  esac
done
exit $status
