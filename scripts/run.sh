#!/usr/bin/env bash
# The main job: installs what is missing, builds the release build and runs the command-line tool
# build/lym with the arguments given.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target lym >/dev/null
if [ $# -eq 0 ]; then set -- --version; fi
exec build/lym "$@"
