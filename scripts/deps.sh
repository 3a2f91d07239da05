#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Runs as root on
# a fresh Debian 12 machine; quiet when everything is already there.
set -euo pipefail
packages=(build-essential cmake ninja-build g++ clang libclang-rt-14-dev clang-format-14
          libgtest-dev libgmock-dev libbenchmark-dev
          nlohmann-json3-dev libcli11-dev libfmt-dev libcpp-httplib-dev pkg-config
          libxlsxwriter-dev librsvg2-dev libcairo2-dev zlib1g-dev
          nodejs npm git strace)
if [ "${1:-}" = "--browser" ]; then packages+=(chromium); fi
missing=()
for p in "${packages[@]}"; do
  # A Node.js installed otherwise (its own package brings npm, and conflicts
  # with Debian's npm) will do.
  if [ "$p" = nodejs ] && command -v node >/dev/null; then continue; fi
  if [ "$p" = npm ] && command -v npm >/dev/null; then continue; fi
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
