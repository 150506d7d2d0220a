#!/usr/bin/env bash
# lym --info=json: one JSON document on stdout whose figures are those of the text report of the
# same files (intact ones of several formats, a tagged one, damaged metadata, a file that is no
# .lym file, a missing one, names beyond ASCII), in the order of the command line; exit status,
# quiet mode and protocol file as for the text report.
#   json_test.sh LYM DEMO_WAVE [RUNNER...]
# RUNNER, when given, is the command that runs the two programs (Wine for a Windows build).
set -uo pipefail
lym=$(realpath "$1")
demo=$(realpath "$2")
runner=("${@:3}")
# shellcheck source=test_helpers.sh
source "$(dirname "$0")/test_helpers.sh"

"${runner[@]}" "$demo" a.wav 2
"${runner[@]}" "$demo" mono8.wav 1.3 8 1 22050
"${runner[@]}" "$demo" hi.wav 0.7 24 2 96000 || exit 1
mkdir sub
run 0 -q a.wav mono8.wav; run 0 -q -p4e -o sub/hi.lym hi.wav
cp a.lym 'Grüße, ça.lym'
cp mono8.lym tagged.lym
# An APEv2 tag (header, items, footer): text items, one of them with two values, and a binary one.
python3 - tagged.lym <<'PY'
import struct, sys
items = [("Title", 0, "Café ☕".encode()), ("Artist", 0, b"A\0B"), ("Cover", 1, b"\x89PNG\0")]
body = b"".join(struct.pack("<II", len(v), t << 1) + k.encode() + b"\0" + v for k, t, v in items)
def block(flags):
    return b"APETAGEX" + struct.pack("<IIII", 2000, len(body) + 32, len(items), flags) + bytes(8)
with open(sys.argv[1], "ab") as f:
    f.write(block(0xA0000000) + body + block(0x80000000))
PY
# Zeros over the metadata: the encoder information and the seek table are lost.
cp a.lym meta.lym
dd if=/dev/zero of=meta.lym bs=1 seek=10 count=20 conv=notrunc status=none
printf 'not a wave file at all' > text.wav

# --- the document against the text report
files=(a.lym sub/hi.lym 'Grüße, ça.lym' tagged.lym meta.lym text.wav missing.lym mono8.lym)
run 1 --info=json "${files[@]}"; mv out.txt doc.json
[ ! -s err.txt ] || fail "--info=json wrote to stderr: $(head -c 300 err.txt)"
run 1 -i "${files[@]}"; mv out.txt report.txt
python3 - doc.json report.txt "${files[@]}" <<'PY' || fail "the document differs from the report"
import json, math, re, sys

doc = json.loads(open(sys.argv[1], "rb").read())  # bytes: decoding fails unless UTF-8
files = sys.argv[3:]
blocks, name = {}, None
for line in open(sys.argv[2], encoding="utf-8"):
    if line.startswith("=== "):
        name = line[4:].rstrip("\n").rstrip("=").rstrip()
        blocks[name] = {}
    elif m := re.match(r"  ([^:]+):\s+(.*)", line):
        blocks[name][m[1]] = m[2]

def check(what, got, want):
    if got != want:
        sys.exit(f"{what}: document {got!r}, report {want!r}")

def fixed(value, decimals):  # as the report prints: half away from zero
    return f"{math.floor(value * 10**decimals + 0.5) / 10**decimals:.{decimals}f}"

STATUS = {"Ok": "ok", "Meta data damaged": "damaged"}
TAG = {"Yes": "present", "No": "none", "Incompatible": "incompatible", "Invalid": "damaged",
       "Error": "unreadable"}
check("files", [o["file"] for o in doc], files)
keys = list(doc[0])
for o in doc:
    check("keys of " + o["file"], list(o), keys)
    r = blocks[o["file"].split("/")[-1]]
    check("status", o["status"], STATUS.get(r["Status"], "error"))
    check("error", o["error"], None if o["status"] != "error" else r["Status"])
    if o["status"] == "error":
        # What the stream reader found damaged before it gave up may be listed.
        check("figures of a failed file", {k for k in keys if o[k] is not None} - {"damage"},
              {"file", "status", "error"} | ({"bytes"} if o["bytes"] else set()))
        continue
    check("size", fixed(o["bytes"] / 1048576, 2) + " MB", r["File size"])
    check("ratio", fixed(o["compression_ratio"] * 100, 2) + " %", r["Compression"])
    check("samples", str(o["samples"]), r["Samples per channel"])
    check("duration", o["samples"] / o["sample_rate"], o["duration_seconds"])
    check("seconds", fixed(round(o["duration_seconds"]), 2) + " sec", r["File duration"])
    check("frame", f'{round(o["frame_length"] / o["sample_rate"] * 1000)} ms', r["Frame duration"])
    check("format", f'PCM, {o["sample_rate"]} Hz, {o["bits_per_sample"]} Bits, '
                    f'{o["channels"]} Channels', r["Audio format"])
    encoder = o["encoder_version"] and f'V {o["encoder_version"]}, {o["preset"]} + {o["evaluation"]}'
    check("encoder", encoder or "Not available", r["Encoder"])
    wave = o["wave_header_bytes"] is not None and \
        f'Header {o["wave_header_bytes"]}, Footer {o["wave_trailer_bytes"]} Bytes'
    check("wave", wave or "Not available", r["Wave file meta data"])
    check("seek points", o["seek_points"] is None, r["Seek point interval"] == "Not available")
    tag = r["APEv2-Tag"].split(" / ")
    check("tag", o["tag"]["state"], TAG[tag[0]])
    check("items", len(o["tag"]["items"]), int(tag[1].split()[0]) if len(tag) > 1 else 0)

by_name = {o["file"]: o for o in doc}
check("preset", [by_name["sub/hi.lym"][k] for k in ("preset", "preset_index", "evaluation",
                                                   "evaluation_index")], ["Extra", 4, "Extra", 1])
check("tag items", by_name["tagged.lym"]["tag"]["items"], [
    {"key": "Title", "type": "text", "value": "Café ☕"},
    {"key": "Artist", "type": "text", "value": "A\0B"},
    {"key": "Cover", "type": "binary", "bytes": 5}])
check("damage", by_name["meta.lym"]["damage"], ["stream_info", "metadata"])
check("intact", by_name["a.lym"]["damage"], [])
check("not a .lym file", (by_name["text.wav"]["bytes"], by_name["text.wav"]["error"]),
      (22, "Undecodable"))
PY

# --- exit status, quiet mode, protocol file: stdout holds the document alone
valid_json() { python3 -c 'import json,sys; json.load(open(sys.argv[1], "rb"))' "$1" ||
  fail "$1 is no JSON document: $(head -c 300 "$1")"; }
run 0 --info=json a.lym; valid_json out.txt
run 0 --protocol --info=json a.lym; valid_json out.txt; exists Lym_Info_Proto.txt
contains Lym_Info_Proto.txt "Compression:"
run 1 -q --info=json a.lym missing.lym; valid_json out.txt
contains err.txt "missing.lym: Error reading source"; lacks err.txt "a.lym"
run 2 -i --json a.lym

# --- a POSIX name that is no UTF-8 comes out as U+FFFD, and the document stays valid
if [ ${#runner[@]} -eq 0 ]; then
  cp a.lym $'bad\xff.lym'
  run 0 --info=json $'bad\xff.lym'; valid_json out.txt; contains out.txt "bad�.lym"
fi

finish "all --info=json checks passed"
