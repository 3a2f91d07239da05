#!/bin/sh
# Runs one golden case and compares its outputs with the case's goldens.
#   check_case.sh PIERHOST CASE_DIR OUT_DIR
# The case folder holds `args` (the program's arguments, one a line, paths
# relative to the repository) and the expected schedule.csv, drawing.svg and
# model.json. The outputs go to OUT_DIR; a difference fails with a unified
# diff. The date in the outputs is fixed through SOURCE_DATE_EPOCH.
set -eu
pierhost=$1
case_dir=$(cd "$2" && pwd)
out=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*

set --
while IFS= read -r arg || [ -n "$arg" ]; do
  [ -n "$arg" ] && set -- "$@" "$arg"
done < "$case_dir/args"

if ! (cd "$root" && SOURCE_DATE_EPOCH=1700000000 "$pierhost" "$@" --out "$out" > "$out/terminal.txt" 2>&1); then
  echo "pierhost $* failed:"
  cat "$out/terminal.txt"
  exit 1
fi

status=0
for file in schedule.csv drawing.svg model.json; do
  if ! diff -u "$case_dir/$file" "$out/$file"; then
    status=1
  fi
done
if command -v python3 > /dev/null 2>&1; then
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$out/drawing.svg" || status=1
fi
[ $status -eq 0 ] || echo "$(basename "$case_dir"): outputs differ from the goldens (tests/golden/regenerate.sh rewrites them)"
exit $status
