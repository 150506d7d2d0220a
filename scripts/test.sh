#!/usr/bin/env bash
# The whole test suite: a normal build, an AddressSanitizer + UndefinedBehaviorSanitizer build, the
# libFuzzer targets built with clang, and the 32-bit and 64-bit Windows builds (mingw-w64) whose
# programs run under Wine, each followed by its CTest run. The Windows builds' tools must also
# write byte for byte the .lym files of the normal build's tool. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --windows

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

# Windows: each build folder has its own Wine prefix (made when CMake configures it) and CTest runs
# the programs through cmake/wine-run.sh; the Wine server is stopped after the tests.
run_windows_build() { # build dir, toolchain
  local dir=$1 toolchain=$2
  run_build "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain" \
    -DLYM_REFERENCE_BUILD="$PWD/build"
  WINEPREFIX="$PWD/$dir/wine-prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
}
run_windows_build build-win32 mingw-i686.cmake
run_windows_build build-win64 mingw-x86_64.cmake
