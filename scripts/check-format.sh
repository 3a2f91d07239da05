#!/usr/bin/env bash
# Fails when a C++ file differs from the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' | grep -v '^tests/golden/' || true)
# The pinned formatter: Debian 12's clang-format 14, as scripts/deps.sh installs it.
formatter=$(command -v clang-format-14 || command -v clang-format)
"$formatter" --dry-run --Werror $files
echo "format: ok"
