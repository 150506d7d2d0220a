#!/usr/bin/env bash
# The main job: installs what is missing, builds the release build and runs the command-line tool
# build/lym with the arguments given. Without arguments it shows what lym does on a demo file:
# compress, test, decompress, compare.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target lym demo_wave >/dev/null
if [ $# -gt 0 ]; then exec build/lym "$@"; fi

demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
build/tools/demo_wave "$demo/demo.wav" 10
mkdir "$demo/restored"
show() { echo "\$ $*"; "$@"; echo; }
show build/lym -V "$demo/demo.wav"
show build/lym -t "$demo/demo.lym"
show build/lym -d -O "$demo/restored" "$demo/demo.lym"
show build/lym -i "$demo/demo.lym"
show cmp "$demo/demo.wav" "$demo/restored/demo.wav"
wav=$(stat -c %s "$demo/demo.wav")
lym=$(stat -c %s "$demo/demo.lym")
echo "demo.wav: $wav bytes, demo.lym: $lym bytes ($((100 * lym / wav))%); the restored file is identical."
