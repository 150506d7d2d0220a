#!/usr/bin/env bash
# The benchmark: lym at every preset and level beside flac -5, flac -8, wavpack and wavpack -hh over
# a corpus folder (default: the one ../shared/corpus/make-corpus.sh builds in /tmp/lym-corpus),
# measured in the same run. Extra arguments go to corpus_bench (--presets p2,p4m; --repeat 3).
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=${LYM_CORPUS:-/tmp/lym-corpus}
if [ $# -gt 0 ] && [ -d "$1" ]; then corpus=$1; shift; fi
./scripts/setup.sh flac wavpack
if [ ! -d "$corpus" ]; then
  bash ../shared/corpus/make-corpus.sh "$corpus"
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target lym corpus_bench >/dev/null
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
build/bench/corpus_bench --lym build/lym "$@" "$corpus"
