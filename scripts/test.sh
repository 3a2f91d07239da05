#!/usr/bin/env bash
# Builds and runs the whole test suite. With --sanitize the tests run once
# more in a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh --browser
build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DPIER_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DPIER_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
# The IFC read-back test runs an independent reader under node.
if [ -f tests/ifc/package-lock.json ]; then (cd tests/ifc && npm ci --no-audit --no-fund --loglevel=error); fi
# The page of pierhost serve is bundled from web/, and its browser test drives
# chromium with playwright-core from there.
(cd web && npm ci --no-audit --no-fund --loglevel=error)
cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
