#!/usr/bin/env bash
# Installs the build into a fresh prefix, then builds and runs a project that
# finds the libraries there: run.sh <build folder> <work folder>
set -euo pipefail
build=$1
work=$2
rm -rf "$work"
cmake --install "$build" --prefix "$work/prefix" > "$work.install.log" 2>&1 || {
  cat "$work.install.log"
  exit 1
}
here=$(cd "$(dirname "$0")" && pwd)
cmake -S "$here" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" > /dev/null
cmake --build "$work/build" > /dev/null
"$work/build/consumer"
# The installed host program finds its installed plug-in.
if [ -x "$work/prefix/bin/pierhost" ]; then
  cat > "$work/one.json" <<'MODEL'
{"format": "pier-model", "version": 1, "name": "one",
 "columns": [{"id": "C1", "corners": [[0, 0], [400, 0], [400, 400], [0, 400]],
              "bottom": 0, "top": 3000}]}
MODEL
  "$work/prefix/bin/pierhost" cage "$work/one.json" --pick C1 --out "$work/out" > "$work/cage.log"
  grep -q "created " "$work/cage.log"
fi
