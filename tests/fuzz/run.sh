#!/bin/sh
# Runs the libFuzzer targets of a build configured with -DKORVAX_FUZZ=ON.
#
#   tests/fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
#
# Each target (fuzz_models, fuzz_stream; both when none is named) runs for
# SECONDS over its corpus in BUILD_DIR/fuzz-corpus/TARGET, which keeps what it
# finds between runs, and its seeds in BUILD_DIR/fuzz-seeds. A crash leaves
# its input in BUILD_DIR/fuzz-artifacts and fails the run. The last lines of
# each run give the executions and the coverage (cov: edges, ft: features).
set -eu
build=$(cd "$1" && pwd)
seconds=$2
shift 2
targets=${*:-fuzz_models fuzz_stream}

status=0
for target in $targets; do
  case $target in
    fuzz_models) seeds=$build/fuzz-seeds/models ;;
    fuzz_stream) seeds=$build/fuzz-seeds/streams ;;
    *) echo "run.sh: no fuzz target $target" >&2; exit 2 ;;
  esac
  corpus=$build/fuzz-corpus/$target
  artifacts=$build/fuzz-artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  log=$build/fuzz-artifacts/$target.log
  echo "== $target: $seconds s over $corpus and $seeds"
  if ! nice "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "$seeds" >"$log" 2>&1; then
    status=1
    cat "$log"
    continue
  fi
  # The last coverage line and the totals.
  grep -E '^#[0-9]+' "$log" | tail -n 1
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log"
done
exit $status
