#!/usr/bin/env bash
# Fuzzes the readers of model files, IFC files, recorded sessions and the web
# API's event bodies with libFuzzer for SECONDS each (default 60), then merges
# what was found into the kept corpus
# (fuzz/corpus/<reader>/, minimised). Crashing inputs are left in
# build-fuzz/artifacts/ and make the script fail.
#   ./scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
# Only what the fuzz build needs (no node, no browser).
packages=(cmake ninja-build clang libclang-rt-14-dev libgtest-dev libgmock-dev nlohmann-json3-dev
          libcli11-dev libcpp-httplib-dev pkg-config)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update && apt-get install -y --no-install-recommends "${missing[@]}"
fi
build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DPIER_SANITIZE=ON -DPIER_BUILD_FUZZERS=ON -DPIER_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target model_fuzzer ifc_fuzzer session_fuzzer events_fuzzer
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
for reader in model ifc session events; do
  fuzzer="$build/fuzz/${reader}_fuzzer"
  work="$build/fuzz-work/$reader"
  mkdir -p "$work" "$build/artifacts" fuzz/corpus/$reader
  dict=fuzz/json.dict
  max_len=4096
  case $reader in
    model) seeds=(examples) ;;
    ifc) seeds=(tests/data/ifc); dict=fuzz/step.dict; max_len=32768 ;;
    session) seeds=(tests/app/sessions) ;;
    events) seeds=() ;;  # the kept corpus began with a few events by hand
  esac
  echo "== $reader: fuzzing for $seconds s"
  if ! "$fuzzer" "$work" fuzz/corpus/$reader "${seeds[@]}" -dict="$dict" \
      -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len="$max_len" \
      -artifact_prefix="$build/artifacts/$reader-" -print_final_stats=1 2>"$build/$reader-fuzz.log"; then
    echo "$reader: the fuzzer found a fault; see $build/$reader-fuzz.log and $build/artifacts/" >&2
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$build/$reader-fuzz.log" || true
  # Keep the smallest set of inputs that covers what all of them cover.
  merged="$build/fuzz-merged/$reader"
  rm -rf "$merged" && mkdir -p "$merged"
  # Edges only (no hit counts): a few hundred small files rather than thousands.
  "$fuzzer" -merge=1 -use_counters=0 -timeout=5 -rss_limit_mb=2048 "$merged" fuzz/corpus/$reader "$work" "${seeds[@]}" \
    2>"$build/$reader-merge.log"
  rm -rf fuzz/corpus/$reader
  mv "$merged" fuzz/corpus/$reader
  echo "$reader: $(ls fuzz/corpus/$reader | wc -l) inputs kept in fuzz/corpus/$reader"
done
exit $status
