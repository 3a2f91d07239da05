#!/bin/sh
# Rewrites the golden files from the current program, for review.
#   tests/golden/regenerate.sh [BUILD_DIR]   (default: build)
# Builds pierhost, runs every case, prints how the new outputs differ from
# the goldens, then copies them over the goldens. Review with `git diff
# tests/golden` before committing.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
cmake --build "$build" --target pierhost
pierhost="$build/app/pierhost"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for case_dir in "$here"/*/; do
  [ -f "$case_dir/args" ] || continue
  name=$(basename "$case_dir")
  # The check prints the differences; a difference is what we are here for.
  sh "$here/check_case.sh" "$pierhost" "$case_dir" "$tmp/$name" || true
  for file in schedule.csv drawing.svg model.json; do
    cp "$tmp/$name/$file" "$case_dir/$file"
  done
done
echo "goldens rewritten; review them with: git diff $here"
