#!/usr/bin/env bash
# The test suite: a normal build, an AddressSanitizer + UndefinedBehaviorSanitizer build, the
# libFuzzer targets built with clang, and the 32-bit and 64-bit Windows builds (mingw-w64) whose
# programs run under Wine, each followed by its CTest run. The Windows builds' tools must also
# write byte for byte the .lym files of the normal build's tool. Installs what is missing first.
#   test.sh [STAGE...]   STAGE: native asan fuzz win32 win64; none named: all of them (CI)
# Where 32-bit programs cannot run (a kernel without 32-bit support), or with LYM_NO_32BIT=1, the
# 32-bit Windows build is built and its checks of the files run, but the tests that would run its
# programs are skipped; the reason is repeated at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

all_stages=(native asan fuzz win32 win64)
usage="usage: $0 [STAGE...]   STAGE: ${all_stages[*]} (none: all)"
[ $# -gt 0 ] || set -- "${all_stages[@]}"
for stage in "$@"; do
  case " ${all_stages[*]} " in
    *" $stage "*) ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
named=" $* "
is_named() { [[ $named == *" $1 "* ]]; }

if is_named win32 || is_named win64; then ./scripts/setup.sh --windows; else ./scripts/setup.sh; fi

jobs=$(nproc)
generator=(-G Ninja)
native=(-DCMAKE_BUILD_TYPE=Release)

# Said again when the command ends, however it ends, so that a skip is not lost in the output.
notes=()
say_notes() { local note; for note in "${notes[@]}"; do echo "$note"; done; }
trap say_notes EXIT

configure() { # build dir, then extra CMake arguments
  cmake -S . -B "$@" "${generator[@]}" >/dev/null
}

run_build() { # build dir, then extra CMake arguments
  local dir=$1
  echo "=== $dir"
  configure "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

# Why this machine cannot run 32-bit programs (the 32-bit Wine loader started once); nothing when
# it can. No ";" in it: CMake would cut the reason there.
cannot_run_32bit() {
  local error
  if [ "${LYM_NO_32BIT:-0}" != 0 ]; then
    echo "LYM_NO_32BIT is set"
  elif ! error=$(/usr/lib/wine/wine --version 2>&1 >/dev/null); then
    echo "the 32-bit Wine loader does not start: ${error//;/,}"
  fi
}

# Windows: each build folder has its own Wine prefix (made when CMake configures it) and CTest runs
# the programs through cmake/wine-run.sh; the Wine server is stopped after the tests.
run_windows_build() { # build dir, toolchain, why its programs cannot run (empty: they can)
  local dir=$1 toolchain=$2 cannot_run=$3
  if [ -n "$cannot_run" ]; then
    notes+=("=== $dir: the tests that run its programs were skipped: $cannot_run")
  fi
  run_build "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain" \
    -DLYM_REFERENCE_BUILD="$PWD/build" -DLYM_CANNOT_RUN="$cannot_run"
  if [ -d "$dir/wine-prefix" ]; then
    WINEPREFIX="$PWD/$dir/wine-prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
}

if is_named native; then
  run_build build "${native[@]}"
elif is_named win32 || is_named win64; then
  echo "=== build (the reference tool of the Windows builds)"
  configure build "${native[@]}"
  cmake --build build -j "$jobs" --target lym demo_wave
fi
if is_named asan; then
  run_build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLYM_SANITIZE=ON
fi
if is_named fuzz; then
  run_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLYM_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++
fi
if is_named win32; then
  run_windows_build build-win32 mingw-i686.cmake "$(cannot_run_32bit)"
fi
if is_named win64; then
  run_windows_build build-win64 mingw-x86_64.cmake ""
fi
