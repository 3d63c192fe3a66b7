#!/bin/sh
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each for an equal share of SECONDS (default 60), starting from the
# committed seed corpus in fuzz/corpus/<target>/.
#   New inputs go to build-fuzz/corpus/<target>/; the committed corpus is not changed.
#   A finding (crash, leak, sanitizer report, failed check, timeout) is saved as
#   build-fuzz/findings/<target>-<kind>-<hash>, the end of the log is shown, and the
#   script fails.  Reproduce with: build-fuzz/fuzz/<target> <that file>
# Usage: fuzz/run.sh [SECONDS [TARGET...]]
# Where clang or libFuzzer is missing the run is skipped with a note, except in CI
# (CI=true), where it fails.
set -eu
cd "$(dirname "$0")/.."
total=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-fuzz_operands fuzz_entry fuzz_country fuzz_csv fuzz_keyed}
build=build-fuzz

echo "== Fuzzing: $targets (libFuzzer, ASan + UBSan, ${total} s in total)"
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/p.cpp"
if ! command -v clang++ >/dev/null ||
   ! clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  if [ "${CI:-}" = true ]; then
    echo "CI: fuzzing needs clang and libFuzzer (apt-get install clang libclang-rt-14-dev)" >&2
    exit 1
  fi
  echo "== SKIPPED: fuzzing (apt-get install clang libclang-rt-14-dev)"
  exit 0
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DZT_FUZZ=ON -DZT_TESTS=OFF -DZT_HOST=OFF >/dev/null
cmake --build "$build" --target $targets

count=$(echo $targets | wc -w)
each=$((total / count))
[ "$each" -ge 1 ] || each=1
mkdir -p "$build/findings" "$build/logs"
for t in $targets; do
  mkdir -p "$build/corpus/$t"
  log="$build/logs/$t.log"
  dict=
  [ -f "fuzz/$t.dict" ] && dict="-dict=fuzz/$t.dict"
  if ! "$build/fuzz/$t" -max_total_time="$each" -timeout=10 -rss_limit_mb=2560 -max_len=16384 $dict \
       -artifact_prefix="$build/findings/$t-" -print_final_stats=1 \
       "$build/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "== FUZZ FINDING in $t: see $build/findings/ and $log" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "== $t: $runs executions in ${each} s, no finding"
done
