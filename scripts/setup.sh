#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and any packages named as arguments
# (the benchmark adds its peers), but only those that are missing. Needs root (apt-get) when
# something is missing; does nothing otherwise.
set -euo pipefail

packages=(
  cmake ninja-build g++             # the normal build
  clang libclang-rt-14-dev          # fuzz targets (libFuzzer) and their sanitizer runtimes
  libgtest-dev                      # unit tests
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "setup: run as root (apt-get) or install: ${missing[*]}" >&2
  exit 1
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
