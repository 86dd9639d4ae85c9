#!/usr/bin/env bash
# Runs every libFuzzer target for a fixed budget, each on its own corpus
# (kept in build-fuzz/corpus/) seeded from tests/data. Fails on a finding;
# the input that crashed is left in build-fuzz/artifacts/.
#   fuzz/run.sh BUILD_DIR SECONDS
set -u
BUILD=$1
SECONDS_EACH=$2
ROOT=$(cd "$(dirname "$0")/.." && pwd)

# target and its seed folder
TARGETS="fuzz_wave_read:tests/data/wav fuzz_settings_load:tests/data/settings fuzz_registry_load:tests/data/registry"

status=0
summary=""
for entry in $TARGETS; do
  name=${entry%%:*}
  seeds=$ROOT/${entry#*:}
  corpus=$BUILD/corpus/$name
  log=$BUILD/$name.log
  mkdir -p "$corpus" "$BUILD/artifacts"
  echo "fuzz: $name for ${SECONDS_EACH} s"
  if ! "$BUILD/fuzz/$name" -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
      -artifact_prefix="$BUILD/artifacts/$name-" "$corpus" "$seeds" > "$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "fuzz: $name found a crash; the input is in $BUILD/artifacts/" >&2
    status=1
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
  files=$(find "$corpus" -type f | wc -l)
  summary="$summary$name: $runs runs in ${SECONDS_EACH} s, $cov, corpus $files files, no finding
"
done
printf '%s' "$summary"
exit $status
