#!/usr/bin/env bash
# The whole test suite: a normal build, an AddressSanitizer + UndefinedBehaviorSanitizer build, and the
# libFuzzer targets built with clang, each followed by its CTest run. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
generator=(-G Ninja)

run_build() { # build dir, then extra CMake arguments
  local dir=$1; shift
  echo "=== $dir"
  cmake -S . -B "$dir" "${generator[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

run_build build -DCMAKE_BUILD_TYPE=Release
run_build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLYM_SANITIZE=ON
run_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLYM_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++
