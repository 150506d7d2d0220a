#!/usr/bin/env bash
# The encoder writes the same bytes on every system: the tool of another build (a Windows build,
# run under Wine) must compress the same WAVE files into byte for byte the .lym files that the
# reference tool (the native Linux build) writes, at several presets and levels and at every kernel
# level, and must restore the reference tool's .lym files to the original WAVE files.
#   same_bytes_test.sh REFERENCE_LYM REFERENCE_DEMO_WAVE LYM [RUNNER...]
# RUNNER, when given, is the command that runs LYM (Wine for a Windows build). The inputs are
# generated WAVE files in several formats and, when the corpus exists (LYM_CORPUS, default
# /tmp/lym-corpus), a few of its smaller files.
set -uo pipefail
reference=$(realpath "$1")
demo=$(realpath "$2")
lym=$(realpath "$3")
runner=("${@:4}")
corpus=${LYM_CORPUS:-/tmp/lym-corpus}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir in
# seconds, bits, channels, rate
for format in "3 16 2 44100" "2 8 1 22050" "1.5 24 2 96000" "2.2 16 1 8000" "1.7 24 1 48000" \
              "0.9 8 2 11025" "0.01 16 2 44100"; do
  read -r seconds bits channels rate <<<"$format"
  "$demo" "in/demo-$seconds-$bits-$channels-$rate.wav" "$seconds" "$bits" "$channels" "$rate" ||
    exit 1
done
for name in music-track12 music-track3-8bit-22k-mono small-audiophob-2 small-audiophob-3 \
            small-audiophob-11; do
  if [ -f "$corpus/$name.wav" ]; then cp "$corpus/$name.wav" in/; fi
done
inputs=(in/*.wav)
echo "${#inputs[@]} input files"

# compare NAME REFERENCE_DIR OTHER_DIR: every .lym file of the reference is in the other folder
# with the same bytes.
compare() {
  local name=$1 dir=$2 other=$3 file count=0
  for file in "$dir"/*.lym; do
    count=$((count + 1))
    cmp -s "$file" "$other/${file##*/}" || fail "$name: ${file##*/} differs from the reference"
  done
  [ "$count" -eq "${#inputs[@]}" ] || fail "$name: the reference wrote $count of ${#inputs[@]} files"
}

# Every preset with the best kernels; the fastest, the default and the slowest preset also with
# each lower kernel level.
checked=0
for preset in -p0 -p1 -p2 -p3 -p4 -p2e -p4e -p4m "-p2 -V"; do
  tag=${preset// /}
  cpus=("")
  case "$preset" in -p0 | -p2 | -p4m) cpus+=(--cpu=portable --cpu=sse2) ;; esac
  mkdir "ref$tag"
  # shellcheck disable=SC2086  # the preset may be two options
  "$reference" -q $preset -O "ref$tag" "${inputs[@]}" || fail "reference $preset failed"
  for cpu in "${cpus[@]}"; do
    out="out$tag$cpu"
    mkdir "$out"
    # shellcheck disable=SC2086
    "${runner[@]}" "$lym" -q $preset $cpu -O "$out" "${inputs[@]}" || fail "lym $preset $cpu failed"
    compare "$preset ${cpu:-(best kernels)}" "ref$tag" "$out"
    checked=$((checked + 1))
  done
done

# The reference's files decode to the originals.
mkdir back
"${runner[@]}" "$lym" -q -d -O back ref-p4m/*.lym || fail "lym -d failed"
for file in "${inputs[@]}"; do
  name=${file##*/}
  cmp -s "$file" "back/$name" || fail "$name did not decode to the original"
done

if [ "$failures" -gt 0 ]; then
  echo "$failures checks failed" >&2
  exit 1
fi
echo "the same bytes as the reference in $checked runs over ${#inputs[@]} files; decoded back"
