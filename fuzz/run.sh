#!/usr/bin/env bash
# Runs the fuzz targets with libFuzzer for a given time each:
#
#   fuzz/run.sh TARGET SECONDS     one of: archive, decoders, bmp
#   fuzz/run.sh all SECONDS        each in turn
#
# Builds them first with clang in build-fuzz (KELVOT_FUZZ), and writes the seed corpora our builders make.
# What a run learns stays in build-fuzz/corpus/TARGET for the next run; the inputs that once crashed a
# target (tests/fuzz_regressions/TARGET) are fed in too. A crash, a leak, a report of the sanitizers, an
# input running over 10 s or an allocation over 512 MiB is saved in build-fuzz/crashes/TARGET and makes the
# script fail; copy it into tests/fuzz_regressions/TARGET with the fix, and CTest replays it from then on.
# Each run ends with libFuzzer's last status line: executions, coverage (cov) and features (ft).
set -euo pipefail
cd "$(dirname "$0")/.."

usage="usage: fuzz/run.sh archive|decoders|bmp|all SECONDS"
target=${1:?$usage}
seconds=${2:?$usage}
case "$target" in
  all) targets=(archive decoders bmp) ;;
  archive | decoders | bmp) targets=("$target") ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

build=build-fuzz
mkdir -p "$build"
# Two runs started together build once.
flock "$build/.lock" bash -c "
  cmake -S . -B '$build' -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DKELVOT_FUZZ=ON -DKELVOT_WERROR=ON >/dev/null
  cmake --build '$build' >/dev/null
  '$build/fuzz/fuzz_seeds' '$build/seeds' >/dev/null"

status=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  crashes=$build/crashes/$t
  log=$build/fuzz-$t.log
  mkdir -p "$corpus" "$crashes"
  inputs=("$corpus" "$build/seeds/$t")
  [ -d "tests/fuzz_regressions/$t" ] && inputs+=("tests/fuzz_regressions/$t")
  if ! "$build/fuzz/fuzz_$t" "${inputs[@]}" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
      -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$crashes/" \
      >"$log" 2>&1; then
    echo "fuzz_$t failed: see $log; the input is in $crashes" >&2
    status=1
  fi
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}' || true)
  echo "fuzz_$t: ${runs:-?} executions in ${seconds} s; last status: ${last:-none}"
done
exit $status
