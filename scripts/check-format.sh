#!/usr/bin/env bash
# Fails when a C++ file differs from the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' | grep -v '^tests/golden/' || true)
clang-format --dry-run --Werror $files
echo "format: ok"
