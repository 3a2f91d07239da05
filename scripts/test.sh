#!/usr/bin/env bash
# Builds and runs the whole test suite. With --sanitize the tests run once
# more in a build with AddressSanitizer and UndefinedBehaviorSanitizer, the
# fuzz targets' corpora replayed beside them; with --thread the tests that run
# the tool on many threads (building, serve, the plug-in) run in a build with
# ThreadSanitizer; with --options the build options offered are built and
# tested (the host program switched off).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh --browser
build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DPIER_SANITIZE=ON -DPIER_BUILD_FUZZERS=ON
         -DCMAKE_CXX_COMPILER=clang++ -DPIER_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
if [ "${1:-}" = "--options" ]; then
  # The build options offered: the libraries, the plug-in and their tests
  # without the host program.
  build=build-noapp
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIER_BUILD_APP=OFF -DPIER_BUILD_BENCH=OFF)
fi
threaded=()
if [ "${1:-}" = "--thread" ]; then
  build=build-tsan
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIER_SANITIZE_THREAD=ON
         -DCMAKE_CXX_COMPILER=clang++ -DPIER_BUILD_BENCH=OFF)
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
  threaded=(building_test serve_test serve_hostile_test piertool_test)
fi
# The IFC read-back test runs an independent reader under node.
if [ -f tests/ifc/package-lock.json ]; then (cd tests/ifc && npm ci --no-audit --no-fund --loglevel=error); fi
# The page of pierhost serve is bundled from web/, and its browser test drives
# chromium with playwright-core from there.
(cd web && npm ci --no-audit --no-fund --loglevel=error)
cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
if [ ${#threaded[@]} -gt 0 ]; then
  cmake --build "$build" --target "${threaded[@]}" piertool_plugin pier_tool_folder
  ctest --test-dir "$build" --output-on-failure -j2 \
    -R '^(ReinforceBuilding|ServeApi|ServeHostile|PierTool\.PluginModule|PluginModule)\.'
  exit 0
fi
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
