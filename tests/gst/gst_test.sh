#!/usr/bin/env bash
# The GStreamer plug-in as players and people use it, through the standard tools: it loads, its
# decoder gives the samples of "lym -d" in every sample format behind decodebin, from a pipe, behind
# an ID3v2 tag and in playbin; the discoverer sees the exact duration and the tags; damaged streams
# play to the end with a warning, what is no stream ends in an error and never hangs, and two
# pipelines can decode side by side.
#   gst_test.sh LYM DEMO_WAVE PLUGIN_DIR
# shellcheck disable=SC2002  # "cat FILE |": a pipe, which no element can read at any position
set -uo pipefail
lym=$(realpath "$1")
demo=$(realpath "$2")
plugin_dir=$(realpath "$3")
runner=()
# shellcheck source=../cli/test_helpers.sh
source "$(dirname "$0")/../cli/test_helpers.sh"
# The plug-in as built, scanned anew into a registry of this run's own: the user's stays untouched.
# GStreamer reads the names with _1_0 first, so a user's setting of those would win otherwise.
export GST_PLUGIN_PATH="$plugin_dir" GST_PLUGIN_PATH_1_0="$plugin_dir"
export GST_REGISTRY="$work/registry.bin" GST_REGISTRY_1_0="$work/registry.bin"
unset GST_PLUGIN_FEATURE_RANK
# The peers from plugins-base and plugins-good that the pipelines use; without them this is no test
# of ours (ctest counts status 77 as skipped).
for element in decodebin playbin fdsrc filesrc fakesink wavenc apedemux id3demux; do
  gst-inspect-1.0 --exists "$element" || { echo "skipped: GStreamer has no $element"; exit 77; }
done

# launch LOG ARGS...: gst-launch-1.0 ARGS with its output in LOG; a pipeline that hangs is ended, so
# that one fault does not stall the whole run (status 124 then).
launch() {
  local log=$1 status; shift
  timeout 60 gst-launch-1.0 "$@" > "$log" 2>&1; status=$?
  [ $status != 124 ] || echo "gst-launch-1.0 $* hung; ended after 60 s: $(tail -c 200 "$log")" >&2
  return $status
}
# same_samples REFERENCE GOT WHAT: the two WAVE files have the same format and sample bytes. The
# writers' headers differ (wavenc adds chunks of its own), so only fmt and data are compared.
same_samples() {
  python3 - "$1" "$2" <<'PY' > samples.txt 2>&1 || fail "$3: $(head -c 300 samples.txt)"
import struct, sys

def chunks(name):
    data = open(name, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"{name} is no WAVE file")
    found, at = {}, 12
    while at + 8 <= len(data):
        kind, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        found.setdefault(kind, data[at + 8:at + 8 + size])
        at += 8 + size + (size & 1)
    if b"fmt " not in found or b"data" not in found:
        sys.exit(f"{name} lacks fmt or data")
    channels, rate, _, align = struct.unpack("<HIIH", found[b"fmt "][2:14])
    return (channels, rate, align), found[b"data"]

(ref_format, ref), (got_format, got) = chunks(sys.argv[1]), chunks(sys.argv[2])
if ref_format != got_format:
    sys.exit(f"format {got_format} instead of {ref_format} (channels, rate, block size)")
if len(got) != len(ref):
    sys.exit(f"{len(got) // ref_format[2]} samples instead of {len(ref) // ref_format[2]}")
if got != ref:
    first = next(i for i in range(len(ref)) if ref[i] != got[i])
    sys.exit(f"samples differ from sample {first // ref_format[2]} on")
PY
}
# no_warning WHAT: the pipeline whose output log.txt holds warned of nothing.
no_warning() {
  ! grep -q "WARNING" log.txt || fail "$1: $(grep -m1 -A2 WARNING log.txt)"
}
# json_field FILE.lym KEY: a figure of lym's report on the file.
json_field() {
  "$lym" --info=json "$1" |
    python3 -c 'import json, sys; print(json.load(sys.stdin)[0][sys.argv[1]])' "$2"
}
# duration_of SAMPLES RATE: the duration as gst-discoverer-1.0 prints it, rounded down to the
# nanosecond as the decoder's timestamps are.
duration_of() {
  local ns=$(($1 * 1000000000 / $2))
  printf '%d:%02d:%02d.%09d' $((ns / 3600000000000)) $((ns / 60000000000 % 60)) \
         $((ns / 1000000000 % 60)) $((ns % 1000000000))
}

# --- the plug-in loads from the build and names its parts
gst-inspect-1.0 lym > inspect.txt 2>&1 ||
  fail "gst-inspect-1.0 lym failed: $(head -c 300 inspect.txt)"
contains inspect.txt "$plugin_dir/libgstlym.so"
contains inspect.txt "lymdec: Lym audio decoder"
contains inspect.txt "audio/x-lym"
gst-inspect-1.0 lymdec > inspect.txt 2>&1 || fail "gst-inspect-1.0 lymdec failed"
contains inspect.txt "Codec/Decoder/Audio"
contains inspect.txt "S24LE"

# --- every sample format through decodebin and wavenc (no audioconvert needed: wavenc takes U8,
# S16LE and S24LE as they come), with the exact duration and the stream's format in the discoverer.
# Lengths of a fraction of a second and other presets than the default give other frame lengths
# and a last frame that is short.
for format in "8 1 8000 1.3 -p0" "8 2 22050 1.1 -p2" "16 1 16000 1 -p4m" \
              "16 2 44100 1.23457 -p2" "16 2 48000 1.5 -p1e" "24 1 96000 1.23457 -p3" \
              "24 2 32000 1.7 -p2m" "24 2 11025 2 -p4"; do
  read -r bits channels rate seconds preset <<<"$format"
  name="f${bits}_${channels}_${rate}"
  "$demo" "$name.wav" "$seconds" "$bits" "$channels" "$rate"
  "$lym" -q "$preset" "$name.wav" || fail "$format: lym refused the file"
  "$lym" -q -d -o "$name.ref.wav" "$name.lym" || fail "$format: lym -d failed"
  launch log.txt filesrc location="$name.lym" ! decodebin ! wavenc \
    ! filesink location="$name.gst.wav" ||
    fail "$format: decodebin pipeline failed: $(head -c 300 log.txt)"
  no_warning "$format"
  same_samples "$name.ref.wav" "$name.gst.wav" "$format through decodebin"

  samples=$(json_field "$name.lym" samples)
  timeout 60 gst-discoverer-1.0 -v "$name.lym" > disc.txt 2>&1 || fail "$format: discoverer failed"
  contains disc.txt "Duration: $(duration_of "$samples" "$rate")"
  contains disc.txt "Seekable: yes"
  contains disc.txt "Sample rate: $rate"
  contains disc.txt "Channels: $channels"
  contains disc.txt "Depth: $bits"
done

# --- tags: what the discoverer shows through decodebin, and what lymdec reads itself
# A real PNG of 8 x 8 pixels as the front cover.
python3 - <<'PY'
import struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
rows = b"".join(b"\0" + bytes(v for x in range(8) for v in (x * 32, y * 32, 160)) for y in range(8))
header = struct.pack(">IIBBBBB", 8, 8, 8, 2, 0, 0, 0)  # 8 x 8, 8 bits, RGB
open("cover.png", "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                              chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
PY
title="Ça déjà vu – Ωμέγα 日本語"
"$demo" tagged.wav 2 16 2 44100
"$lym" -q -p3e --tag "Title=$title" --tag "Artist=The Players" --tag Track=3/12 --tag Year=2021 \
       --tag Genre=Jazz --tag "Comment=Recorded live" \
       --tag-from-file "Cover Art (Front)=cover.png" tagged.wav || fail "tagging failed"
"$lym" -q -d -o tagged.ref.wav tagged.lym
cover_bytes=$(stat -c %s cover.png)
timeout 60 gst-discoverer-1.0 -v tagged.lym > disc.txt 2>&1 || fail "discoverer failed on tags"
for line in "title: $title" "artist: The Players" "track number: 3" "track count: 12" \
            "date: 2021" "genre: Jazz" "comment: Recorded live" "encoder: Lym, High + Extra" \
            "audio codec: Lym"; do
  contains disc.txt "$line"
done
# apedemux takes the APEv2 tag off in front of lymdec and keeps only its text items: the cover and
# lymdec's own reading of the items show where lymdec gets the whole file, from filesrc and from a
# pipe.
launch tags.txt -t filesrc location=tagged.lym ! lymdec ! fakesink || fail "lymdec alone failed"
cat tagged.lym | launch tags_pushed.txt -t fdsrc fd=0 ! lymdec ! fakesink ||
  fail "lymdec pushed failed"
for log in tags.txt tags_pushed.txt; do
  for line in "title: $title" "artist: The Players" "track number: 3" "track count: 12" \
              "datetime: 2021" "genre: Jazz" "comment: Recorded live" "encoder: Lym, High + Extra" \
              "image: buffer of $cover_bytes bytes, type: image/png"; do
    contains $log "$line"
  done
done

# --- playbin plays to the end, every sample
launch log.txt playbin uri="file://$work/tagged.lym" audio-sink=fakesink || fail "playbin failed"
contains log.txt "Got EOS"
launch log.txt playbin uri="file://$work/tagged.lym" \
  audio-sink="wavenc ! filesink location=$work/playbin.wav" || fail "playbin into wavenc failed"
same_samples tagged.ref.wav playbin.wav "playbin"

# --- pushed from a pipe (no seeking upstream): the whole stream, the same samples
long=f24_2_11025
cat $long.lym | launch log.txt -q fdsrc fd=0 ! lymdec ! wavenc ! filesink location=pushed.wav ||
  fail "fdsrc ! lymdec failed: $(head -c 300 log.txt)"
same_samples $long.ref.wav pushed.wav "pushed through a pipe"
# A pushed stream through decodebin: the type is found on the pipe as well.
cat tagged.lym | launch log.txt -q fdsrc fd=0 ! decodebin ! wavenc ! filesink location=pushed.wav ||
  fail "fdsrc ! decodebin failed: $(head -c 300 log.txt)"
same_samples tagged.ref.wav pushed.wav "pushed through decodebin"

# --- behind an ID3v2 tag: id3demux within decodebin, and lymdec skipping it alone, pulled or pushed
python3 - f16_2_44100.lym id3.lym <<'PY'
import struct, sys
def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
text = b"\x00" + "ID3 title".encode("latin-1")
body = b"TIT2" + struct.pack(">I", len(text)) + b"\x00\x00" + text + bytes(64)  # padding
open(sys.argv[2], "wb").write(b"ID3\x03\x00\x00" + synchsafe(len(body)) + body +
                              open(sys.argv[1], "rb").read())
PY
launch log.txt -t filesrc location=id3.lym ! decodebin ! wavenc ! filesink location=id3.wav ||
  fail "decodebin behind ID3v2 failed: $(head -c 300 log.txt)"
same_samples f16_2_44100.ref.wav id3.wav "behind ID3v2 through decodebin"
contains log.txt "title: ID3 title"
# The tag is no damage of the stream: no warning.
launch log.txt filesrc location=id3.lym ! lymdec ! wavenc ! filesink location=id3.wav ||
  fail "lymdec behind ID3v2 failed: $(head -c 300 log.txt)"
no_warning "behind ID3v2, pulled by lymdec"
same_samples f16_2_44100.ref.wav id3.wav "behind ID3v2, pulled by lymdec"
cat id3.lym | launch log.txt fdsrc fd=0 ! lymdec ! wavenc ! filesink location=id3.wav ||
  fail "lymdec pushed behind ID3v2 failed: $(head -c 300 log.txt)"
no_warning "behind ID3v2, pushed to lymdec"
same_samples f16_2_44100.ref.wav id3.wav "behind ID3v2, pushed to lymdec"

# --- damaged streams play to the end, with lost audio muted as lym -d mutes it, and a warning
"$demo" long.wav 6 16 2 44100
"$lym" -q long.wav
cp long.lym damaged.lym
damage damaged.lym
"$lym" -q -d -o damaged.ref.wav damaged.lym > /dev/null 2>&1
[ "$(stat -c %s damaged.ref.wav)" = "$(stat -c %s long.wav)" ] || fail "lym -d cut the damaged file"
launch log.txt -m filesrc location=damaged.lym ! decodebin ! wavenc \
  ! filesink location=damaged.wav ||
  fail "a damaged file did not play to the end: $(grep -m1 ERROR log.txt)"
contains log.txt "Got EOS"
contains log.txt 'from element "lymdec0" (warning)'
contains log.txt "Damaged audio was replaced by silence"
same_samples damaged.ref.wav damaged.wav "damaged, through decodebin"
cat damaged.lym | launch log.txt -m fdsrc fd=0 ! lymdec ! wavenc ! filesink location=damaged.wav ||
  fail "a damaged stream pushed did not play to the end"
contains log.txt "Damaged audio was replaced by silence"
same_samples damaged.ref.wav damaged.wav "damaged, pushed"
# Cut off half-way, as an interrupted download leaves it: the rest is lost, still without an error.
head -c $(($(stat -c %s long.lym) / 2)) long.lym > cut.lym
"$lym" -q -d -o cut.ref.wav cut.lym > /dev/null 2>&1
launch log.txt -m filesrc location=cut.lym ! decodebin ! wavenc ! filesink location=cut.wav ||
  fail "a cut file did not play to the end: $(grep -m1 ERROR log.txt)"
contains log.txt "Damaged audio was replaced by silence"
same_samples cut.ref.wav cut.wav "cut file"

# --- what is no stream ends in an error, and soon: noise (no type finder claims it), noise behind
# the stream identifier (the type finder hands it to lymdec), the identifier alone, an empty file
# and an empty pipe
python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(7).randbytes(3000))' \
  > noise.lym
{ printf 'wQyZ'; cat noise.lym; } > fake.lym
printf 'wQyZ' > identifier.lym
: > empty.lym
# refused WHAT FROM INPUT ARGS...: gst-launch-1.0 ARGS, with INPUT on standard input, ends in an
# error posted by FROM (an element's path as gst-launch-1.0 prints it). gst-launch-1.0 itself now
# and then fails to end when an error comes while the pipeline prerolls (with any element: wavparse
# on noise does it as well), and waits on although the error was posted and printed: only then is
# the run tried again. A pipeline that posts no error, or ends otherwise, fails at once.
refused() {
  local what=$1 from=$2 input=$3 try status; shift 3
  for try in 1 2 3; do
    timeout 15 gst-launch-1.0 "$@" < "$input" > refused.txt 2>&1; status=$?
    [ $status = 124 ] && grep -q "^ERROR: from element .*$from" refused.txt && continue
    [ $status = 1 ] ||
      fail "$what exited $status, expected an error (1): $(head -c 300 refused.txt)"
    grep -q "^ERROR: from element .*$from" refused.txt || fail "$what: the error is not $from's"
    return
  done
  fail "$what: gst-launch-1.0 did not end after the error, $try times"
}
refused "noise through decodebin" "GstTypeFindElement" /dev/null \
  filesrc location=noise.lym ! decodebin ! fakesink
refused "noise behind the identifier through decodebin" \
  "GstLymDec:lymdec0: This is no .lym stream" /dev/null \
  filesrc location=fake.lym ! decodebin ! fakesink
for file in noise.lym fake.lym identifier.lym empty.lym; do
  refused "$file to lymdec" "GstLymDec:lymdec0" /dev/null filesrc location=$file ! lymdec ! fakesink
  refused "$file pushed to lymdec" "GstLymDec:lymdec0" $file fdsrc fd=0 ! lymdec ! fakesink
done

# --- two pipelines side by side, each with its own stream
launch both1.txt -q filesrc location=f24_1_96000.lym ! decodebin ! wavenc \
  ! filesink location=both1.wav &
first=$!
launch both2.txt -q filesrc location=long.lym ! decodebin ! wavenc ! filesink location=both2.wav &
second=$!
wait $first || fail "the first of two pipelines failed: $(head -c 300 both1.txt)"
wait $second || fail "the second of two pipelines failed: $(head -c 300 both2.txt)"
same_samples f24_1_96000.ref.wav both1.wav "first of two pipelines"
same_samples long.wav both2.wav "second of two pipelines"

finish "gst: all checks passed"
