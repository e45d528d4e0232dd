#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz/ with clang, libFuzzer, ASan and UBSan
# into build-fuzz/ and runs each for SECONDS (default 60), one after another,
# with its seed corpus and dictionary.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# New corpus entries go to build-fuzz/out/TARGET/corpus, inputs that crashed,
# hung or leaked to build-fuzz/out/TARGET/ (named crash-*, timeout-*, ...).
# Environment: FUZZ_RUNS=N also stops a target after N executions;
# FUZZ_MERGE=1 merges inputs that reach new code back into the seed corpus,
# the smallest first, up to FUZZ_CORPUS_MAX files (48) a target.
# Exits 1 when any target found something.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(numbers config script reply frames sequence options datetime scpi)

# shellcheck source=setup.sh
source "$root/scripts/setup.sh"
TAVRIN_PACKAGES=(cmake make clang libclang-rt-14-dev libgtest-dev)
tavrin_install_missing

build="$root/build-fuzz"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all" \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all" \
    -DTAVRIN_BUILD_QT=OFF -DTAVRIN_FUZZ_ENGINE=ON >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
found=0
summary=()
for t in "${targets[@]}"; do
  out="$build/out/$t"
  mkdir -p "$out/corpus"
  echo "== fuzz_$t: ${seconds} s${FUZZ_RUNS:+ or $FUZZ_RUNS runs}"
  # -jobs=1 runs the fuzzer in a child that logs to fuzz-0.log in the current folder.
  (cd "$out" && "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" ${FUZZ_RUNS:+-runs=$FUZZ_RUNS} \
     -jobs=1 -workers=1 -timeout=10 -max_len=2048 -print_final_stats=1 \
     -dict="$root/tests/fuzz/$t.dict" -artifact_prefix="$out/" \
     "$out/corpus" "$root/tests/fuzz/corpus/$t" >/dev/null 2>&1) || true
  log="$out/fuzz-0.log"
  grep -E 'DONE|ERROR|SUMMARY|deadly|invariant broken|stat::(number_of_executed_units|average_exec_per_sec)' "$log" || true
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n 1 || true)
  artifacts=$(find "$out" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'leak-*' \
               -o -name 'oom-*' -o -name 'slow-unit-*' \) | sort)
  if [ -n "$artifacts" ]; then
    found=1
    echo "fuzz_$t found:"
    echo "$artifacts"
  fi
  if [ "${FUZZ_MERGE:-0}" = 1 ]; then
    seeds="$root/tests/fuzz/corpus/$t"
    rm -rf "$out/merge" && cp -r "$seeds" "$out/merge"
    # Edges only (no hit counts), so only inputs that reach new code count.
    "$build/tests/fuzz/fuzz_$t" -merge=1 -use_counters=0 -max_len=2048 "$out/merge" "$out/corpus" >/dev/null 2>&1
    room=$(( ${FUZZ_CORPUS_MAX:-48} - $(ls "$seeds" | wc -l) ))
    added=0
    for f in $(ls -Sr "$out/merge"); do
      [ "$added" -lt "$room" ] || break
      [ -e "$seeds/$f" ] || { cp "$out/merge/$f" "$seeds/"; added=$((added + 1)); }
    done
    echo "corpus/$t: $added files merged, $(ls "$seeds" | wc -l) in all"
  fi
  summary+=("$(printf '%-10s %12s executions  %s' "$t" "${execs:-?}" "$([ -n "$artifacts" ] && echo FOUND || echo clean)")")
done
printf '%s\n' "${summary[@]}"
exit $found
